#include "content/makeshow/makeshow_scenes.h"

#include "images/hwl_format.h"
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
    files.pictures = set.pictures;
    return "";
}

std::string checkScenePictures(const SceneFiles& files, const std::set<std::string>& made,
                               const std::string& assetsDir) {
    if (files.sources.empty()) return "";
    for (const scenes::PictureEntry& picture : files.pictures) {
        std::string missing;
        if (!made.count(picture.file))
            missing = picture.file + ": no line of pictures.txt makes it";
        else if (picture.alpha == scenes::Alpha::Companion &&
                 !made.count(hwl::alphaCompanionName(picture.file)))
            missing = picture.file + ": its alpha companion " +
                      hwl::alphaCompanionName(picture.file) +
                      " is made by no line of pictures.txt (its line there has no 'companion')";
        if (missing.empty()) continue;
        return scenes::SceneSetError{assetsDir + "/" + picture.listedIn, picture.line,
                                     picture.column, missing}
            .text();
    }
    return "";
}
