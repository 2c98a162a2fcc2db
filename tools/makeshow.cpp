// makeshow: builds the show directory from the editable sources in assets/.
//
//   makeshow OUTDIR [--force] [--jobs N] [--assets DIR]
//
// Renders every picture of assets/pictures.txt and encodes it as HWL (with
// its "_alpha" companion where the list says so), renders the score to the
// Ogg Vorbis file that the script names, and copies the script after reading
// it the way the show does. An output whose sources, settings and tool are
// unchanged since the last run (OUTDIR/makeshow.state) is left alone.
// Every failure ends with one line on stderr and exit code 1.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/makeshow_encode.h"
#include "tools/makeshow_files.h"
#include "tools/makeshow_hash.h"
#include "tools/makeshow_music.h"
#include "tools/makeshow_script.h"
#include "tools/makeshow_state.h"
#include "tools/picture/manifest.h"
#include "tools/picture/render_entry.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPictureList = "pictures.txt";
constexpr const char* kScriptSource = "script.sqx";
constexpr const char* kScore = "music/score.txt";
// Used in keys only when the tool cannot read its own executable.
constexpr const char* kFallbackToolVersion = "makeshow 1";
constexpr int kMaxJobs = 64;

// An output file made in memory, and its line for the report.
struct BuiltFile {
    std::string path; // relative to OUTDIR
    std::vector<uint8_t> bytes;
    std::string report;
};

// One unit of work: the files it makes, the key they are made from, and how.
struct Job {
    std::vector<std::string> outputs;
    uint64_t key = 0;
    std::function<std::string(std::vector<BuiltFile>&)> build; // empty or one line
};

struct Options {
    std::string outDir;
    std::string assetsDir = MAKESHOW_ASSETS_DIR;
    bool force = false;
    int jobs = 0;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "makeshow: %s\n", message.c_str());
    return 1;
}

// The tool's version for the keys is its own executable: any change to the
// code that renders or encodes (ours or a library's) builds everything again,
// so an output can never be stale because someone forgot to bump a number.
uint64_t toolVersion() {
    std::vector<uint8_t> bytes;
    ContentHash hash;
    if (readFileBytes("/proc/self/exe", bytes).empty())
        hash.addBytes(bytes.data(), bytes.size());
    else
        hash.addField(kFallbackToolVersion);
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

std::string pictureJob(const picture::ManifestEntry& entry, const Options& options, uint64_t tool,
                       std::mutex& renderLock, Job& job) {
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
    job.key = hash.value;
    job.outputs = {"data/" + entry.name + ".hwl"};
    if (entry.alpha == picture::AlphaKind::Companion)
        job.outputs.push_back("data/" + entry.name + "_alpha.hwl");
    const std::string assetsDir = options.assetsDir;
    job.build = [entry, assetsDir, targets, &renderLock](std::vector<BuiltFile>& files) {
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
        if (std::string error = encodePicture(entry, pixels, targets, encoded); !error.empty())
            return error;
        for (EncodedFile& file : encoded) {
            std::string report = describeEncodedFile(file);
            files.push_back({file.path, std::move(file.bytes), std::move(report)});
        }
        return std::string();
    };
    return "";
}

std::string musicJob(const std::string& musicFile, const Options& options, uint64_t tool,
                     Job& job) {
    const std::string score = options.assetsDir + "/" + kScore;
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("music");
    if (std::string error = addSourceFile(hash, score); !error.empty()) return error;
    job.key = hash.value;
    job.outputs = {musicFile};
    const std::string scratch = options.outDir + "/makeshow.music.part";
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

void scriptJob(const std::string& text, const ScriptSummary& summary, uint64_t tool, Job& job) {
    ContentHash hash;
    hash.addNumber(int64_t(tool));
    hash.addField("script");
    hash.addField(text);
    job.key = hash.value;
    job.outputs = {kScriptSource};
    job.build = [text, summary](std::vector<BuiltFile>& files) {
        files.push_back({kScriptSource, std::vector<uint8_t>(text.begin(), text.end()),
                         describeScript(kScriptSource, summary)});
        return std::string();
    };
}

// Everything the run has to do, in a good order for parallel work: the
// longest job (the music) first, the script last.
std::string planJobs(const Options& options, std::mutex& renderLock, std::vector<Job>& jobs) {
    const uint64_t tool = toolVersion();
    std::vector<uint8_t> scriptBytes;
    const std::string scriptPath = options.assetsDir + "/" + kScriptSource;
    if (std::string error = readFileBytes(scriptPath, scriptBytes); !error.empty()) return error;
    const std::string script(scriptBytes.begin(), scriptBytes.end());
    ScriptSummary summary;
    if (std::string error = checkShowScript(script, scriptPath, summary); !error.empty())
        return error;

    // A scene change off the beat is a flaw, not a failure: say so and go on.
    double barMs = 0;
    if (std::string error = readBarLength(options.assetsDir + "/" + kScore, barMs); !error.empty())
        return error;
    for (const std::string& line : offBarLines(summary, barMs))
        std::fprintf(stderr, "makeshow: warning: %s: %s, off the bar lines (bars of %g ms)\n",
                     scriptPath.c_str(), line.c_str(), barMs);

    std::vector<picture::ManifestEntry> entries;
    if (picture::PictureError error =
            picture::readManifest(options.assetsDir + "/" + kPictureList, entries))
        return error.message;

    Job music;
    if (std::string error = musicJob(summary.musicFile, options, tool, music); !error.empty())
        return error;
    jobs.push_back(std::move(music));
    for (const picture::ManifestEntry& entry : entries) {
        Job job;
        if (std::string error = pictureJob(entry, options, tool, renderLock, job); !error.empty())
            return error;
        jobs.push_back(std::move(job));
    }
    Job scriptCopy;
    scriptJob(script, summary, tool, scriptCopy);
    jobs.push_back(std::move(scriptCopy));
    return "";
}

// Runs `pending` jobs on `threads` threads, writing each job's files as it
// finishes and recording them in `state`. Stops taking new jobs after the
// first failure, whose line it returns.
std::string runJobs(const std::vector<const Job*>& pending, int threads, const std::string& outDir,
                    BuildState& state, int& built) {
    std::mutex lock; // guards state, built, failure and stdout
    std::atomic<size_t> next{0};
    std::string failure;
    auto work = [&]() {
        while (true) {
            {
                const std::lock_guard guard(lock);
                if (!failure.empty()) return;
            }
            const size_t index = next++;
            if (index >= pending.size()) return;
            const Job& job = *pending[index];
            std::vector<BuiltFile> files;
            std::string error = job.build(files);
            for (size_t i = 0; error.empty() && i < files.size(); ++i)
                error = writeFileAtomically(outDir + "/" + files[i].path, files[i].bytes);
            const std::lock_guard guard(lock);
            if (!error.empty()) {
                if (failure.empty()) failure = error;
                return;
            }
            for (const BuiltFile& file : files) {
                state[file.path] = OutputRecord{job.key, hashBytes(file.bytes)};
                std::printf("built       %s\n", file.report.c_str());
                ++built;
            }
            std::fflush(stdout);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    return failure;
}

int makeShow(const Options& options) {
    const auto start = std::chrono::steady_clock::now();
    std::error_code error;
    fs::create_directories(options.outDir, error);
    if (!fs::is_directory(options.outDir))
        return fail(options.outDir + ": cannot create the show folder" +
                    (error ? ": " + error.message() : ""));

    std::mutex renderLock;
    std::vector<Job> jobs;
    if (std::string failure = planJobs(options, renderLock, jobs); !failure.empty())
        return fail(failure);

    const BuildState previous = options.force ? BuildState{} : readBuildState(options.outDir);
    BuildState state; // only what this run makes: stale entries drop out
    std::vector<const Job*> pending;
    int upToDate = 0;
    for (const Job& job : jobs) {
        if (!outputsUpToDate(previous, options.outDir, job.outputs, job.key)) {
            pending.push_back(&job);
            continue;
        }
        for (const std::string& output : job.outputs) {
            state[output] = previous.at(output);
            std::printf("up to date  %s\n", output.c_str());
            ++upToDate;
        }
    }
    std::fflush(stdout);

    const int threads =
        std::clamp(options.jobs > 0 ? options.jobs : int(std::thread::hardware_concurrency()), 1,
                   std::max(1, int(pending.size())));
    int built = 0;
    const std::string failure = runJobs(pending, threads, options.outDir, state, built);
    // Kept even after a failure, so that the next run skips what was built.
    const std::string stateError = writeBuildState(options.outDir, state);
    if (!failure.empty()) return fail(failure);
    if (!stateError.empty()) return fail(stateError);

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("makeshow: %d built, %d up to date in %s (%.1f s)\n", built, upToDate,
                options.outDir.c_str(), seconds.count());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"makeshow: builds the show directory (pictures, music, script) from assets/"};
    Options options;
    app.add_option("OUTDIR", options.outDir, "show folder to build or bring up to date")
        ->required();
    app.add_flag("--force", options.force, "build every output, even those up to date");
    app.add_option("--jobs", options.jobs, "outputs built at once (default: one per core)")
        ->check(CLI::Range(1, kMaxJobs));
    app.add_option("--assets", options.assetsDir, "source folder")
        ->default_str(MAKESHOW_ASSETS_DIR);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        fail(error.what()); // one line, unlike CLI11's default two
        return 1;
    }
    return makeShow(options);
}
