// The show's scene files as makeshow takes them from assets/scenes/: read
// and checked as a whole set, the way the show reads them, then copied into
// the show folder's scenes/ unchanged.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "show/scene_set.h"

inline constexpr const char* kSceneFolder = "scenes";

struct SceneFiles {
    std::vector<scenes::SceneSource> sources;   // named "scenes/NAME", by name
    std::vector<std::string> sceneNames;        // what the script may place
    std::vector<scenes::PictureEntry> pictures; // what the set draws with
};

// Reads ASSETS/scenes/*.scene and *.tracks. Without any .scene file the
// show's built-in scenes are what the script places (and nothing is copied).
// Empty on success; otherwise one line, "ASSETS/scenes/NAME:LINE:COLUMN: ...".
std::string readSceneFiles(const std::string& assetsDir, SceneFiles& files);

// Whether the show folder will hold every picture the sources' own set
// draws with (and the alpha companion of each that takes one): `made` holds
// what the picture list makes, "data/NAME.hwl". Empty when it will;
// otherwise one line for the first missing, "ASSETS/scenes/NAME:LINE:COLUMN:
// ...", at the line that lists it. The built-in set is not checked.
std::string checkScenePictures(const SceneFiles& files, const std::set<std::string>& made,
                               const std::string& assetsDir);
