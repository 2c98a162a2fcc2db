// Fuzz target: any bytes as a script. The reader must return ok or an error,
// never crash, and only place scenes inside the timelines' tables.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sequencing/scene.h"
#include "sequencing/script.h"
#include "sequencing/timeline.h"

namespace {

// Two short timelines (placements cost time in proportion to the length) and
// two scenes; the other slots stay empty, so unknown ids and names are
// reached too.
bool registerSlots() {
    sceneSlots[1] = createScene("Scene1", nullptr, noOp, nullptr);
    sceneSlots[2] = createScene("Scene2", noOp, nullptr, noOp);
    timelineSlots[1] = createTimeline("Timeline1", 1000);
    timelineSlots[3] = createTimeline("Timeline3", 0);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool registered = registerSlots();
    (void)registered;
    MusicSettings music;
    ScenePlacements placements;
    (void)loadScriptText(std::string_view(reinterpret_cast<const char*>(data), size), music, "fuzz",
                         &placements);
    (void)parseScriptNumber(std::string_view(reinterpret_cast<const char*>(data), size),
                            music.musicStart);
    return 0;
}
