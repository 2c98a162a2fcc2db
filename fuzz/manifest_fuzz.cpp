// Fuzz target: any bytes as the picture list. The reader must give entries
// or an error naming the line, never crash.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "content/picture/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<picture::ManifestEntry> entries;
    (void)picture::parseManifest(std::string_view(reinterpret_cast<const char*>(data), size),
                                 "pictures.txt", entries);
    return 0;
}
