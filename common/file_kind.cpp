#include "common/file_kind.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/open_file.h"

namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kJpegStart[] = {0xFF, 0xD8, 0xFF};
constexpr uint8_t kHwlMagic[] = {'H', 'W', 'L'};
// Enough bytes to tell text from binary.
constexpr size_t kSniffBytes = 512;

template <size_t N> bool startsWith(const uint8_t* bytes, size_t size, const uint8_t (&prefix)[N]) {
    return size >= N && std::memcmp(bytes, prefix, N) == 0;
}

// Printable ASCII, tabs and line ends, or UTF-8 continuation: text.
bool looksLikeText(const uint8_t* bytes, size_t size) {
    if (size == 0) return false;
    return std::all_of(bytes, bytes + std::min(size, kSniffBytes), [](uint8_t c) {
        return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c != 0x7F);
    });
}

} // namespace

std::string guessFileKind(const uint8_t* bytes, size_t size) {
    if (startsWith(bytes, size, kPngSignature)) return "a PNG picture";
    if (startsWith(bytes, size, kJpegStart)) return "a JPEG picture";
    if (startsWith(bytes, size, kHwlMagic)) return "an HWL file";
    if (looksLikeText(bytes, size)) return "text";
    return "";
}

std::string guessFileKind(const std::string& fileName) {
    std::FILE* file = openFile(fileName, "rb");
    if (!file) return "";
    uint8_t bytes[kSniffBytes];
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    return guessFileKind(bytes, got);
}
