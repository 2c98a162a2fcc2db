// The scenes built into the show (show/default_scenes/), drawn over a show
// folder without a scenes/ folder of its own.
#pragma once

#include <vector>

#include "show/scene_set.h"

const std::vector<scenes::SceneSource>& defaultSceneFiles();
