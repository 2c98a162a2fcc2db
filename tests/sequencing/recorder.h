// Callbacks that log what ran, for the timeline and script tests.
#pragma once

#include <string>
#include <vector>

#include "sequencing/scene.h"

inline std::vector<std::string> events;

// record<'d', 3> logs "d3": the draw callback of scene 3, and so on.
template <char Kind, int Id> void record() {
    events.push_back(Kind + std::to_string(Id));
}

template <int Id> Scene* recordingScene(const char* name) {
    return createScene(name, record<'s', Id>, record<'d', Id>, record<'a', Id>);
}
