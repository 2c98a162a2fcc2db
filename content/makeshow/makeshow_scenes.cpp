#include "content/makeshow/makeshow_scenes.h"

#include "show/scene_folder.h"

std::string readSceneFiles(const std::string& assetsDir, SceneFiles& files) {
    files = {};
    bool own = false;
    if (std::string problem =
            scenes::readSceneFolder(assetsDir + "/" + kSceneFolder, files.sources, own);
        !problem.empty())
        return problem;
    scenes::SceneSet set;
    const scenes::SceneSetError problem = readSceneSet(files.sources, set);
    if (!own) files.sources.clear(); // nothing of the built-in set is copied
    if (problem) {
        // Named as the person finds the file: under the assets folder.
        scenes::SceneSetError located = problem;
        located.file = assetsDir + "/" + problem.file;
        return located.text();
    }
    for (const scenes::SceneEntry& scene : set.scenes) files.sceneNames.push_back(scene.name);
    return "";
}
