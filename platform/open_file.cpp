#include "platform/open_file.h"

#include <algorithm>

#ifdef _WIN32

#include <cerrno>
#include <io.h>
#include <windows.h>

namespace {

std::wstring wide(const std::string& utf8) {
    const int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), count);
    return text;
}

} // namespace

std::FILE* openFile(const std::string& utf8Name, const char* mode) {
    return _wfopen(wide(utf8Name).c_str(), wide(mode).c_str());
}

std::filesystem::path utf8Path(const std::string& utf8Name) {
    return std::filesystem::path(wide(utf8Name));
}

std::string utf8Name(const std::filesystem::path& path) {
    const std::wstring& name = path.native();
    const int count = WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()), nullptr, 0,
                                          nullptr, nullptr);
    std::string text(size_t(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), int(name.size()), text.data(), count, nullptr,
                        nullptr);
    return text;
}

int writeAt(std::FILE* file, const void* bytes, size_t length, uint64_t offset) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    const auto* from = static_cast<const char*>(bytes);
    // WriteFile takes at most a DWORD's worth at a time.
    constexpr size_t kMostAtOnce = size_t(1) << 30;
    for (size_t done = 0; done < length;) {
        OVERLAPPED at{};
        at.Offset = DWORD(offset + done);
        at.OffsetHigh = DWORD((offset + done) >> 32);
        DWORD wrote = 0;
        const DWORD piece = DWORD(std::min(length - done, kMostAtOnce));
        if (!WriteFile(handle, from + done, piece, &wrote, &at) || wrote == 0) return EIO;
        done += wrote;
    }
    return 0;
}

#else

#include <cerrno>
#include <unistd.h>

std::FILE* openFile(const std::string& utf8Name, const char* mode) {
    return std::fopen(utf8Name.c_str(), mode);
}

std::filesystem::path utf8Path(const std::string& utf8Name) {
    return std::filesystem::path(utf8Name);
}

std::string utf8Name(const std::filesystem::path& path) {
    return path.string();
}

int writeAt(std::FILE* file, const void* bytes, size_t length, uint64_t offset) {
    const int fd = fileno(file);
    const auto* from = static_cast<const char*>(bytes);
    for (size_t done = 0; done < length;) {
        const ssize_t n = pwrite(fd, from + done, length - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += size_t(n);
    }
    return 0;
}

#endif
