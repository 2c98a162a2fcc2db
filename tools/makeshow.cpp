// makeshow: builds the show directory from the editable sources in assets/.
//
//   makeshow OUTDIR [--force] [--jobs N] [--assets DIR]
//
// Without --assets the sources are the assets/ of the checkout this
// executable was built in (see findAssetsDir), else ./assets.
//
// Renders every picture of assets/pictures.txt and encodes it as HWL (with
// its "_alpha" companion where the list says so), renders the score to the
// Ogg Vorbis file that the script names, and copies the script after reading
// it the way the show does. An output whose sources, settings and tool are
// unchanged since the last run (OUTDIR/makeshow.state) is left alone.
// Every broken source is one line on stderr; the run builds what it can and
// then exits with code 1, so one run shows everything there is to mend.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "content/makeshow/makeshow_encode.h"
#include "content/makeshow/makeshow_files.h"
#include "content/makeshow/makeshow_hash.h"
#include "content/makeshow/makeshow_music.h"
#include "content/makeshow/makeshow_script.h"
#include "content/makeshow/makeshow_state.h"
#include "content/picture/manifest.h"
#include "content/picture/render_entry.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kPictureList = "pictures.txt";
constexpr const char* kScriptSource = "script.sqx";
constexpr const char* kScore = "music/score.txt";
// Used in keys only when the tool cannot read its own executable.
constexpr const char* kFallbackToolVersion = "makeshow 1";
constexpr int kMaxJobs = 64;
// Off-beat scene changes named in the warning; one tempo edit moves them all.
constexpr size_t kOffBarExamples = 3;

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
    std::string assetsDir; // empty: found at run time
    bool force = false;
    int jobs = 0;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "makeshow: %s\n", message.c_str());
    return 1;
}

// The broken sources of a run, each reported as it is found. Thread-safe.
class Problems {
  public:
    void report(const std::string& line) {
        const std::lock_guard guard(lock_);
        fail(line);
        ++count_;
    }
    int count() {
        const std::lock_guard guard(lock_);
        return count_;
    }

  private:
    std::mutex lock_;
    int count_ = 0;
};

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

// Everything the run can do, in a good order for parallel work: the
// longest job (the music) first, the script last. Broken sources go to
// `problems`; what does not depend on them is still planned.
void planJobs(const Options& options, std::mutex& renderLock, Problems& problems,
              std::vector<Job>& jobs) {
    const uint64_t tool = toolVersion();
    std::vector<uint8_t> scriptBytes;
    const std::string scriptPath = options.assetsDir + "/" + kScriptSource;
    std::string scriptError = readFileBytes(scriptPath, scriptBytes);
    const std::string script(scriptBytes.begin(), scriptBytes.end());
    ScriptSummary summary;
    if (scriptError.empty()) scriptError = checkShowScript(script, scriptPath, summary);
    if (!scriptError.empty()) problems.report(scriptError);

    // A scene change off the beat is a flaw, not a failure: say so and go on.
    double barMs = 0;
    const std::string scoreError = readBarLength(options.assetsDir + "/" + kScore, barMs);
    if (!scoreError.empty()) problems.report(scoreError);
    if (scriptError.empty() && scoreError.empty())
        warnOffBarLines(scriptPath, offBarLines(summary, barMs), barMs);

    if (scriptError.empty() && scoreError.empty()) {
        Job music;
        if (std::string error = musicJob(summary.musicFile, options, tool, music); !error.empty())
            problems.report(error);
        else
            jobs.push_back(std::move(music));
    }
    std::vector<picture::ManifestEntry> entries;
    if (picture::PictureError error =
            picture::readManifest(options.assetsDir + "/" + kPictureList, entries)) {
        std::istringstream lines(error.message); // a line for each bad line of the list
        for (std::string line; std::getline(lines, line);) problems.report(line);
    }
    for (const picture::ManifestEntry& entry : entries) {
        Job job;
        if (std::string error = pictureJob(entry, options, tool, renderLock, job); !error.empty())
            problems.report(error);
        else
            jobs.push_back(std::move(job));
    }
    if (scriptError.empty()) {
        Job scriptCopy;
        scriptJob(script, summary, tool, scriptCopy);
        jobs.push_back(std::move(scriptCopy));
    }
}

// Runs `pending` jobs on `threads` threads, writing each job's files as it
// finishes and recording them in `state`. A failed job goes to `problems`
// and the others go on.
void runJobs(const std::vector<const Job*>& pending, int threads, const std::string& outDir,
             Problems& problems, BuildState& state, int& built) {
    std::mutex lock; // guards state, built and stdout
    std::atomic<size_t> next{0};
    auto work = [&]() {
        while (true) {
            const size_t index = next++;
            if (index >= pending.size()) return;
            const Job& job = *pending[index];
            std::vector<BuiltFile> files;
            std::string error = job.build(files);
            for (size_t i = 0; error.empty() && i < files.size(); ++i)
                error = writeFileAtomically(outDir + "/" + files[i].path, files[i].bytes);
            if (!error.empty()) {
                problems.report(error);
                continue;
            }
            const std::lock_guard guard(lock);
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
}

int makeShow(Options options) {
    if (options.assetsDir.empty()) options.assetsDir = findAssetsDir();
    if (options.assetsDir.empty())
        return fail("no sources: this makeshow is not in a checkout's build and there is no "
                    "./assets; name the folder with --assets DIR");
    const auto start = std::chrono::steady_clock::now();
    std::error_code error;
    fs::create_directories(options.outDir, error);
    if (!fs::is_directory(options.outDir))
        return fail(options.outDir + ": cannot create the show folder" +
                    (error ? ": " + error.message() : ""));

    std::mutex renderLock;
    Problems problems;
    std::vector<Job> jobs;
    planJobs(options, renderLock, problems, jobs);

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
    runJobs(pending, threads, options.outDir, problems, state, built);
    const int broken = problems.count();
    // Outputs of a broken source keep their records: mending it must not
    // rebuild what it did not touch.
    if (broken > 0) state.insert(previous.begin(), previous.end());
    // Kept even after a failure, so that the next run skips what was built.
    if (const std::string error = writeBuildState(options.outDir, state); !error.empty())
        return fail(error);

    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    const std::string brokenText = broken > 0 ? ", " + std::to_string(broken) + " broken" : "";
    std::printf("makeshow: %d built, %d up to date%s in %s from %s (%.1f s)\n", built, upToDate,
                brokenText.c_str(), options.outDir.c_str(), options.assetsDir.c_str(),
                seconds.count());
    return broken > 0 ? 1 : 0;
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
    app.add_option("--assets", options.assetsDir,
                   "source folder (default: the assets/ of the checkout this makeshow was "
                   "built in, else ./assets)");
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
