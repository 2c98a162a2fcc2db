#include "platform/font_file.h"

#ifdef _WIN32

#include <windows.h>

#include <filesystem>
#include <vector>

#include "platform/open_file.h"

std::string fontFile(const std::string& fileName) {
    // The program's own path, however long: the buffer grows until it fits.
    std::vector<wchar_t> path(MAX_PATH);
    while (GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())) >= path.size() &&
           path.size() < 32768) {
        path.resize(path.size() * 2);
    }
    const std::filesystem::path folder = std::filesystem::path(path.data()).parent_path();
    return utf8Name(folder / "fonts" / utf8Path(fileName));
}

#else

std::string fontFile(const std::string& fileName) {
    return "/usr/share/fonts/truetype/dejavu/" + fileName;
}

#endif
