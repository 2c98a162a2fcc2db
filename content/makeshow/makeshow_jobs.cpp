#include "content/makeshow/makeshow_jobs.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <unistd.h>

#include "content/makeshow/makeshow_encode.h"
#include "content/makeshow/makeshow_files.h"
#include "content/makeshow/makeshow_hash.h"
#include "content/makeshow/makeshow_music.h"
#include "content/makeshow/makeshow_scenes.h"
#include "content/makeshow/makeshow_script.h"
#include "content/picture/manifest.h"
#include "content/picture/render_entry.h"

namespace {

constexpr const char* kPictureList = "pictures.txt";
constexpr const char* kScriptSource = "script.sqx";
constexpr const char* kScore = "music/score.txt";
// Used in keys only when the tool cannot read its own executable.
constexpr const char* kFallbackToolVersion = "makeshow 1";
constexpr size_t kToolReadPiece = size_t(1) << 16;
// Off-beat scene changes named in the warning; one tempo edit moves them all.
constexpr size_t kOffBarExamples = 3;
// Pictures smaller than this encode fully in a blink: a draft of them would
// only be a second, worse version on screen.
constexpr int kDraftMinPixels = 128 * 128;

// Whether a run builds what `sources` make (every source without --only).
bool wanted(const MakeshowOptions& options, const std::vector<std::string>& sources) {
    return options.only.empty() ||
           std::find(sources.begin(), sources.end(), options.only) != sources.end();
}

// What a picture is made from, for --only: its source and the list, which
// gives its size and alpha.
std::vector<std::string> pictureSources(const picture::ManifestEntry& entry) {
    return {entry.source, kPictureList};
}

// "Scene2 starts at 1000 ms" lines as one warning: a tempo change moves
// every scene change at once, and twenty lines would bury the rest.
void warnOffBarLines(const std::string& scriptPath, const std::vector<std::string>& lines,
                     double barMs) {
    if (lines.empty()) return;
    std::string examples;
    for (size_t i = 0; i < std::min(lines.size(), kOffBarExamples); ++i)
        examples += (i > 0 ? ", " : "") + lines[i];
    if (lines.size() > kOffBarExamples)
        examples += " and " + std::to_string(lines.size() - kOffBarExamples) + " more";
    const char* plural = lines.size() == 1 ? "" : "s";
    std::fprintf(stderr,
                 "makeshow: warning: %s: %zu scene start%s or end%s off the bar lines (bars of %g "
                 "ms): %s\n",
                 scriptPath.c_str(), lines.size(), plural, plural, barMs, examples.c_str());
}

// The tool's version for the keys is its own executable: any change to the
// code that renders or encodes (ours or a library's) builds everything again,
// so an output can never be stale because someone forgot to bump a number.
// Read a piece at a time: every run pays for it, the live mode's drafts too.
uint64_t toolVersion() {
    ContentHash hash;
    std::FILE* file = std::fopen("/proc/self/exe", "rb");
    if (!file) {
        hash.addField(kFallbackToolVersion);
        return hash.value;
    }
    std::vector<uint8_t> buffer(kToolReadPiece);
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0)
        hash.addBytes(buffer.data(), got);
    std::fclose(file);
    return hash.value;
}

// Adds a source file's bytes to `hash`; empty or one line.
std::string addSourceFile(ContentHash& hash, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::string error = readFileBytes(path, bytes); !error.empty()) return error;
    hash.addNumber(int64_t(bytes.size()));
    hash.addBytes(bytes.data(), bytes.size());
    return "";
}

// The show folder's files a picture of the list makes.
std::vector<std::string> pictureOutputs(const picture::ManifestEntry& entry) {
    std::vector<std::string> outputs = {"data/" + entry.name + ".hwl"};
    if (entry.alpha == picture::AlphaKind::Companion)
        outputs.push_back("data/" + entry.name + "_alpha.hwl");
    return outputs;
}

std::string pictureJob(const picture::ManifestEntry& entry, const MakeshowOptions& options,
                       uint64_t tool, std::mutex& renderLock, Job& job) {
    const EncodeTargets targets = defaultEncodeTargets();
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("picture");
    hash.addField(entry.name);
    hash.addNumber(int64_t(entry.sourceKind));
    hash.addNumber(int64_t(entry.width));
    hash.addNumber(int64_t(entry.height));
    hash.addNumber(int64_t(entry.alpha));
    hashEncodeTargets(hash, targets);
    if (std::string error = addSourceFile(hash, options.assetsDir + "/" + entry.source);
        !error.empty())
        return error;
    const bool draft = options.draft && entry.width * entry.height >= kDraftMinPixels;
    job.key = job.fullKey = hash.value;
    if (draft) {
        hash.addField("draft");
        job.key = hash.value;
    }
    job.origin = options.assetsDir + "/" + entry.source;
    job.outputs = pictureOutputs(entry);
    const std::string assetsDir = options.assetsDir;
    job.build = [entry, assetsDir, targets, draft, &renderLock](std::vector<BuiltFile>& files) {
        picture::Picture pixels;
        {
            // One picture renders at a time: the texture generator works on
            // its process-wide layers, and librsvg with its font stack is not
            // promised to be thread-safe. Encoding, the longer part, runs in
            // parallel.
            const std::lock_guard lock(renderLock);
            if (picture::PictureError error = picture::renderEntry(entry, assetsDir, pixels))
                return error.message;
        }
        std::vector<EncodedFile> encoded;
        if (std::string error = encodePicture(entry, pixels, targets, encoded, draft);
            !error.empty())
            return error;
        for (EncodedFile& file : encoded) {
            std::string report = describeEncodedFile(file);
            files.push_back({file.path, std::move(file.bytes), std::move(report)});
        }
        return std::string();
    };
    return "";
}

std::string musicJob(const std::string& musicFile, const MakeshowOptions& options, uint64_t tool,
                     Job& job) {
    const std::string score = options.assetsDir + "/" + kScore;
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("music");
    if (std::string error = addSourceFile(hash, score); !error.empty()) return error;
    job.key = hash.value;
    job.origin = score;
    job.outputs = {musicFile};
    // One scratch file a process: the live mode may run two makeshows that
    // both render the music (the score and the script saved together).
    const std::string scratch =
        options.outDir + "/makeshow.music." + std::to_string(getpid()) + ".part";
    job.build = [score, musicFile, scratch](std::vector<BuiltFile>& files) {
        BuiltFile file{musicFile, {}, ""};
        MusicSummary summary;
        if (std::string error = renderMusicFile(score, scratch, file.bytes, summary);
            !error.empty())
            return error;
        file.report = describeMusic(musicFile, file.bytes.size(), summary);
        files.push_back(std::move(file));
        return std::string();
    };
    return "";
}

void scriptJob(const std::string& text, const std::string& scriptPath, const ScriptSummary& summary,
               uint64_t tool, Job& job) {
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("script");
    hash.addField(text);
    job.key = hash.value;
    job.origin = scriptPath;
    job.quick = true;
    job.outputs = {kScriptSource};
    job.build = [text, summary](std::vector<BuiltFile>& files) {
        files.push_back({kScriptSource, std::vector<uint8_t>(text.begin(), text.end()),
                         describeScript(kScriptSource, summary)});
        return std::string();
    };
}

// One scene file copied into the show folder; its key covers the whole set,
// whose files are only good together.
void sceneJob(const SceneFiles& files, size_t index, const std::string& assetsDir, uint64_t tool,
              Job& job) {
    const scenes::SceneSource& file = files.sources[index];
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("scenes");
    for (const scenes::SceneSource& source : files.sources) {
        hash.addField(source.name);
        hash.addField(source.text);
    }
    hash.addField(file.name);
    job.key = hash.value;
    job.origin = assetsDir + "/" + file.name;
    job.quick = true;
    job.outputs = {file.name};
    const size_t count = files.sceneNames.size();
    job.build = [file, count](std::vector<BuiltFile>& files) {
        const std::string set =
            "checked with the set of " + std::to_string(count) + " scene" + (count == 1 ? "" : "s");
        files.push_back({file.name, std::vector<uint8_t>(file.text.begin(), file.text.end()),
                         file.name + "  " + set});
        return std::string();
    };
}

} // namespace

int makeshowFail(const std::string& message) {
    std::fprintf(stderr, "makeshow: %s\n", message.c_str());
    return 1;
}

void Problems::report(const std::string& line) {
    const std::lock_guard guard(lock_);
    makeshowFail(line);
    ++count_;
}

int Problems::count() {
    const std::lock_guard guard(lock_);
    return count_;
}

void planJobs(const MakeshowOptions& options, std::mutex& renderLock, Problems& problems,
              std::vector<Job>& jobs) {
    const uint64_t tool = toolVersion();
    // With --only, a broken source is reported only where it stops what
    // this run builds: the script and the score for the music and the
    // script, the list for the pictures.
    const bool scriptWanted = wanted(options, {kScore, kScriptSource});
    const std::string scriptPath = options.assetsDir + "/" + kScriptSource;
    std::vector<picture::ManifestEntry> entries;
    const picture::PictureError listError =
        picture::readManifest(options.assetsDir + "/" + kPictureList, entries);
    // The scenes: what the script may place, and the files to copy. Their
    // pictures are checked against a list that reads: a broken one says
    // what is wrong itself.
    SceneFiles sceneFiles;
    const bool scenesWanted = options.only.empty() || options.only.starts_with("scenes/");
    std::string scenesError;
    if (scriptWanted || scenesWanted) {
        scenesError = readSceneFiles(options.assetsDir, sceneFiles);
        if (scenesError.empty() && !listError) {
            std::set<std::string> made;
            for (const picture::ManifestEntry& entry : entries) {
                for (std::string& output : pictureOutputs(entry)) made.insert(std::move(output));
            }
            scenesError = checkScenePictures(sceneFiles, made, options.assetsDir);
        }
        if (!scenesError.empty()) problems.report(scenesError);
    }
    if (scenesError.empty() && scenesWanted) {
        for (size_t k = 0; k < sceneFiles.sources.size(); ++k) {
            Job job;
            sceneJob(sceneFiles, k, options.assetsDir, tool, job);
            jobs.push_back(std::move(job));
        }
    }
    std::string script;
    ScriptSummary summary;
    bool scriptGood = false, scoreGood = false;
    // Reading the script the show's way takes time (the show's tables for
    // its whole length): not for a picture's rebuild.
    if (scriptWanted) {
        std::vector<uint8_t> scriptBytes;
        std::string scriptError = readFileBytes(scriptPath, scriptBytes);
        script.assign(scriptBytes.begin(), scriptBytes.end());
        // Against broken scenes the script cannot be checked: they were reported.
        if (scriptError.empty() && scenesError.empty())
            scriptError = checkShowScript(script, scriptPath, sceneFiles.sceneNames, summary);
        if (!scriptError.empty() && scenesError.empty()) problems.report(scriptError);
        if (!scenesError.empty()) scriptError = scenesError;

        // A scene change off the beat is a flaw, not a failure: say so and go on.
        double barMs = 0;
        const std::string scoreError = readBarLength(options.assetsDir + "/" + kScore, barMs);
        if (!scoreError.empty()) problems.report(scoreError);
        if (scriptError.empty() && scoreError.empty())
            warnOffBarLines(scriptPath, offBarLines(summary, barMs), barMs);
        scriptGood = scriptError.empty();
        scoreGood = scoreError.empty();
    }

    if (scriptGood && scoreGood) {
        Job music;
        if (std::string error = musicJob(summary.musicFile, options, tool, music); !error.empty())
            problems.report(error);
        else
            jobs.push_back(std::move(music));
    }
    const bool listed = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
        return wanted(options, pictureSources(entry));
    });
    // A source on no good line of the list may be on a broken one.
    if (listError && (wanted(options, {kPictureList}) || (!listed && !scriptWanted))) {
        std::istringstream lines(listError.message); // a line for each bad line of the list
        for (std::string line; std::getline(lines, line);) problems.report(line);
    }
    for (const picture::ManifestEntry& entry : entries) {
        if (!wanted(options, pictureSources(entry))) continue;
        Job job;
        if (std::string error = pictureJob(entry, options, tool, renderLock, job); !error.empty())
            problems.report(error);
        else
            jobs.push_back(std::move(job));
    }
    if (scriptGood && wanted(options, {kScriptSource})) {
        Job scriptCopy;
        scriptJob(script, scriptPath, summary, tool, scriptCopy);
        jobs.push_back(std::move(scriptCopy));
    }
}
