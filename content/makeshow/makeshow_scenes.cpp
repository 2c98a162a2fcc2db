#include "content/makeshow/makeshow_scenes.h"

#include <sstream>

#include "images/hwl_format.h"
#include "show/scene_folder.h"

namespace {

// Where `file` is listed in a pictures block: the first line that starts
// with it (a step names a picture after a word, "picture FILE"). Columns
// count from 1; the file alone when no line does.
scenes::SceneSetError listedAt(const std::vector<scenes::SceneSource>& sources,
                               const std::string& file) {
    for (const scenes::SceneSource& source : sources) {
        std::istringstream lines(source.text);
        int32_t number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            const size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos) continue;
            const size_t end = line.find_first_of(" \t\r#", start);
            if (line.substr(start, end - start) == file)
                return {source.name, number, int32_t(start + 1), ""};
        }
    }
    return {sources.empty() ? std::string() : sources.front().name, 0, 0, ""};
}

} // namespace

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
        scenes::SceneSetError located = listedAt(files.sources, picture.file);
        located.file = assetsDir + "/" + located.file;
        located.message = missing;
        return located.text();
    }
    return "";
}
