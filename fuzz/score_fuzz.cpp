// Fuzz target: any bytes as a score. The reader must give a score or an
// error with its place, never crash; a score that parses has a finite length.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "content/synth/score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    synth::Score score;
    const auto error =
        synth::parseScore(std::string_view(reinterpret_cast<const char*>(data), size), score);
    if (!error && !std::isfinite(synth::scoreLengthMs(score))) std::abort();
    return 0;
}
