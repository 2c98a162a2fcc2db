// Giving an Ogg file a fixed stream serial number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace synth {

// Sets the serial number of every page and recomputes its checksum. False,
// with `bytes` partly rewritten, when they are not whole Ogg pages.
bool setOggSerial(std::vector<uint8_t>& bytes, uint32_t serial);

// The same on a file, rewritten in place. Empty on success, otherwise one line.
std::string setOggFileSerial(const std::string& path, uint32_t serial);

} // namespace synth
