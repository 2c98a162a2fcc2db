// Fuzz target: any bytes through the HWL decoder. It must return an error
// value or pixels, never crash, leak or touch memory outside its buffers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "images/hwl_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> pixels;
    hwl::HwlHeader header{};
    (void)hwl::decodeHwlMemory(pixels, header, data, size, true, "fuzz");
    hwl::HwlPlanes planes;
    (void)hwl::readHwlPlanesFromStream(data, size, planes, "fuzz");
    return 0;
}
