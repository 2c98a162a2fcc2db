// A show's scene files on disk: the .scene and .tracks files of a scenes/
// folder, read in name order, or the built-in set when it has no .scene
// file. The show reads its own folder with it, makeshow the sources'.
//
//   std::vector<scenes::SceneSource> files;
//   bool own = false;
//   if (std::string error = readSceneFolder("scenes", files, own); !error.empty()) ...
//   readSceneSet(files, set);   // files: the folder's (own), or the built-in set's
#pragma once

#include <string>
#include <vector>

#include "show/scene_set.h"

namespace scenes {

// The files of `folder`, each named "scenes/NAME", and `own` true; the
// built-in set's and `own` false when the folder is missing or holds no
// .scene file. Empty on success, else one line naming the folder or file.
std::string readSceneFolder(const std::string& folder, std::vector<SceneSource>& files, bool& own);

} // namespace scenes
