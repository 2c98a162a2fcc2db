// Fuzz target: any bytes as a set of scene files. Up to a line "%%tracks",
// they are a .scene file; after it, a .tracks file. The reader must accept
// or name a mistake, never crash; every value of an accepted set evaluates
// to a finite number whatever the spectrum and the tracks hold.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "show/scene_carried.h"
#include "show/scene_set.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string marker = "\n%%tracks\n";
    const size_t split = text.find(marker);
    std::vector<scenes::SceneSource> files = {{"scenes/fuzz.scene", text.substr(0, split)}};
    if (split != std::string::npos)
        files.push_back({"scenes/fuzz.tracks", text.substr(split + marker.size())});
    scenes::SceneSet set;
    if (readSceneSet(files, set)) return 0;
    // What a seek replays is worked out from every block of an accepted set.
    if (scenes::blockEffects(set).size() != set.blocks.size()) std::abort();

    // A spectrum and track values with every awkward kind of number.
    float spectrum[scenes::kSpectrumBins];
    for (int k = 0; k < scenes::kSpectrumBins; ++k)
        spectrum[k] = k % 3 == 0 ? INFINITY : k % 3 == 1 ? NAN : float(k);
    std::vector<double> tracks;
    for (const scenes::Track& track : set.tracks) {
        for (const double time : {-1e300, 0.0, 1e300, double(NAN)}) scenes::trackValue(track, time);
        tracks.push_back(scenes::trackValue(track, 1234.5));
    }
    for (const double time : {0.0, 137113.0, -5.0, 1e18}) {
        scenes::ExpressionInputs in;
        in.time = time;
        in.since = time / 2;
        in.spectrum = spectrum;
        in.tracks = tracks.data();
        for (const scenes::ExpressionId id : set.values)
            if (!std::isfinite(scenes::evaluate(set.pool, id, in))) std::abort();
    }
    return 0;
}
