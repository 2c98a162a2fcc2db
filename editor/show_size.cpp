#include "editor/show_size.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "texgen/layers.h"

namespace editor {

namespace {

namespace fs = std::filesystem;

constexpr const char* kListName = "pictures.txt";

fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path result = fs::weakly_canonical(path, error);
    return error ? path : result;
}

// Lines "NAME SOURCE WxH ALPHA"; '#' starts a comment.
std::optional<ShowSize> findIn(const fs::path& list, const fs::path& program) {
    std::ifstream in(list);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string name, source, size;
        if (!(fields >> name >> source >> size)) continue;
        if (resolved(list.parent_path() / source) != program) continue;
        int width = 0, height = 0;
        char by = 0;
        std::istringstream dimensions(size);
        if (!(dimensions >> width >> by >> height) || by != 'x' || width != height ||
            !texgen::isValidLayerSize(width)) {
            continue;
        }
        return ShowSize{name, width};
    }
    return std::nullopt;
}

} // namespace

std::optional<ShowSize> showSizeOf(const std::string& path) {
    if (path.empty()) return std::nullopt;
    const fs::path program = resolved(path);
    const fs::path folder = program.parent_path();
    if (auto found = findIn(folder / kListName, program)) return found;
    return findIn(folder.parent_path() / kListName, program);
}

} // namespace editor
