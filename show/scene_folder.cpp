#include "show/scene_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/open_file.h"
#include "show/default_scenes.h"

namespace fs = std::filesystem;

namespace scenes {

namespace {

constexpr const char* kFolderName = "scenes";

bool isSceneFile(const std::string& name) {
    return name.ends_with(".scene") || name.ends_with(".tracks");
}

bool hasScene(const std::vector<SceneSource>& files) {
    return std::any_of(files.begin(), files.end(),
                       [](const SceneSource& file) { return file.name.ends_with(".scene"); });
}

} // namespace

std::string readSceneFolder(const std::string& folder, std::vector<SceneSource>& files, bool& own) {
    files.clear();
    std::error_code error;
    std::vector<std::string> names;
    if (fs::is_directory(utf8Path(folder), error)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(utf8Path(folder), error)) {
            const std::string name = utf8Name(entry.path().filename());
            if (isSceneFile(name) && entry.is_regular_file(error)) names.push_back(name);
        }
        if (error) return folder + ": " + error.message();
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        std::ifstream in(utf8Path(path), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in && !in.eof()) return path + ": cannot be read";
        files.push_back({std::string(kFolderName) + "/" + name, std::move(text)});
    }
    own = hasScene(files);
    if (!own) files = defaultSceneFiles();
    return "";
}

} // namespace scenes
