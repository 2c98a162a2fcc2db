// Fuzz target: any bytes as makeshow's state file. Lines that do not read
// are dropped; nothing crashes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "content/makeshow/makeshow_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)parseBuildState(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
