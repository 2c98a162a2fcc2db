#include "content/makeshow/makeshow_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// Nothing makeshow reads comes near this; a larger file is a mistake.
constexpr uint64_t kMaxReadBytes = uint64_t(1) << 30;

// Tells a checkout of this project from any folder that has an assets/.
constexpr const char* kCheckoutMarker = "tools/makeshow.cpp";

} // namespace

std::string readFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file) return fileName + ": cannot open: " + std::strerror(errno);
    uint8_t buffer[1 << 16];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (bytes.size() > kMaxReadBytes) break;
    }
    const bool failed = std::ferror(file) != 0;
    const int cause = errno;
    std::fclose(file);
    if (failed) return fileName + ": cannot read: " + std::strerror(cause);
    if (bytes.size() > kMaxReadBytes) return fileName + ": larger than 1 GiB";
    return "";
}

std::string writeFileAtomically(const std::string& fileName, const void* data, size_t size) {
    std::error_code error;
    const std::filesystem::path parent = std::filesystem::path(fileName).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, error);
    if (error) return parent.string() + ": cannot create the folder: " + error.message();
    const std::string part = fileName + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) return part + ": cannot create: " + std::strerror(errno);
    const bool written = std::fwrite(data, 1, size, file) == size;
    const int cause = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(part.c_str());
        return fileName + ": cannot write: " + std::strerror(written ? errno : cause);
    }
    std::filesystem::rename(part, fileName, error);
    if (error) {
        std::remove(part.c_str());
        return fileName + ": cannot replace: " + error.message();
    }
    return "";
}

std::string writeFileAtomically(const std::string& fileName, const std::vector<uint8_t>& bytes) {
    return writeFileAtomically(fileName, bytes.data(), bytes.size());
}

std::string findAssetsDir() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    for (fs::path dir = executable.parent_path(); !error && !dir.empty(); dir = dir.parent_path()) {
        if (fs::is_directory(dir / "assets", error) &&
            fs::is_regular_file(dir / kCheckoutMarker, error))
            return (dir / "assets").string();
        if (dir == dir.parent_path()) break;
        error.clear();
    }
    error.clear();
    if (fs::is_directory(MAKESHOW_CONFIGURED_ASSETS, error)) return MAKESHOW_CONFIGURED_ASSETS;
    error.clear();
    if (fs::is_directory("assets", error)) return fs::absolute("assets", error).string();
    return "";
}
