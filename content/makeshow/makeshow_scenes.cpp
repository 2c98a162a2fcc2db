#include "content/makeshow/makeshow_scenes.h"

#include <algorithm>
#include <filesystem>

#include "content/makeshow/makeshow_files.h"
#include "show/default_scenes.h"

namespace fs = std::filesystem;

namespace {

bool isSceneFile(const std::string& name) {
    return name.ends_with(".scene") || name.ends_with(".tracks");
}

} // namespace

std::string readSceneFiles(const std::string& assetsDir, SceneFiles& files) {
    files = {};
    const std::string folder = assetsDir + "/" + kSceneFolder;
    std::error_code error;
    std::vector<std::string> names;
    if (fs::is_directory(folder, error)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (isSceneFile(name) && entry.is_regular_file(error)) names.push_back(name);
        }
        if (error) return folder + ": " + error.message();
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::vector<uint8_t> bytes;
        if (std::string problem = readFileBytes(folder + "/" + name, bytes); !problem.empty())
            return problem;
        files.sources.push_back(
            {std::string(kSceneFolder) + "/" + name, std::string(bytes.begin(), bytes.end())});
    }
    const bool own = std::any_of(files.sources.begin(), files.sources.end(),
                                 [](const auto& file) { return file.name.ends_with(".scene"); });
    if (!own) files.sources.clear();
    scenes::SceneSet set;
    const scenes::SceneSetError problem =
        readSceneSet(own ? files.sources : defaultSceneFiles(), set);
    if (problem) {
        // Named as the person finds the file: under the assets folder.
        scenes::SceneSetError located = problem;
        located.file = assetsDir + "/" + problem.file;
        return located.text();
    }
    for (const scenes::SceneEntry& scene : set.scenes) files.sceneNames.push_back(scene.name);
    return "";
}
