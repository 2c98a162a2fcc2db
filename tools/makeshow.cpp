// makeshow: builds the show directory from the editable sources in assets/.
//
//   makeshow OUTDIR [--force] [--overwrite] [--jobs N] [--assets DIR]
//                   [--only SOURCE] [--draft]
//
// Without --assets the sources are the assets/ of the checkout this
// executable was built in or configured from (see findAssetsDir), else
// ./assets.
//
// Renders every picture of assets/pictures.txt and encodes it as HWL (with
// its "_alpha" companion where the list says so), renders the score to the
// Ogg Vorbis file that the script names, and copies the script after reading
// it the way the show does. An output whose sources, settings and tool are
// unchanged since the last run (OUTDIR/makeshow.state) is left alone.
// Every broken source is one line on stderr; the run builds what it can and
// then exits with code 1, so one run shows everything there is to mend.
//
// --only SOURCE builds just the outputs made from that source (a path under
// the assets folder): the live mode rebuilds each saved source on its own,
// so a picture never waits for the music. --draft encodes large pictures
// with fixed settings instead of the search for the smallest file: on screen
// in a moment, and replaced by the next run without it.
//
// An output that a person changed in the show folder (its bytes are not the
// ones recorded as written) is never overwritten: that is a broken line too,
// naming the source to edit instead, unless --overwrite lets makeshow win.
// An output with no record at all (a show folder made by hand, a lost state
// file) is refused the same way unless it already holds exactly what
// makeshow would write: refusing is the safe side.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
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
constexpr size_t kToolReadPiece = size_t(1) << 16;
// Off-beat scene changes named in the warning; one tempo edit moves them all.
constexpr size_t kOffBarExamples = 3;
// Pictures smaller than this encode fully in a blink: a draft of them would
// only be a second, worse version on screen.
constexpr int kDraftMinPixels = 128 * 128;

// An output file made in memory, and its line for the report.
struct BuiltFile {
    std::string path; // relative to OUTDIR
    std::vector<uint8_t> bytes;
    std::string report;
};

// One unit of work: the files it makes, the key they are made from, and how.
struct Job {
    std::vector<std::string> outputs;
    std::string origin; // the source a person edits instead of the outputs
    // Builds in no time: a clash with a hand edit is decided on the bytes
    // built, so a source made to agree with the edit mends it.
    bool quick = false;
    uint64_t key = 0;
    // A draft's: the key of the full version, which a draft never replaces.
    uint64_t fullKey = 0;
    std::function<std::string(std::vector<BuiltFile>&)> build; // empty or one line
};

struct Options {
    std::string outDir;
    std::string assetsDir; // empty: found at run time
    bool force = false;
    bool overwrite = false; // replace outputs a person changed
    std::string only;       // build only what this source makes; empty: everything
    bool draft = false;     // large pictures with fixed settings, no search
    int jobs = 0;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "makeshow: %s\n", message.c_str());
    return 1;
}

// Whether a run builds what `sources` make (every source without --only).
bool wanted(const Options& options, const std::vector<std::string>& sources) {
    return options.only.empty() ||
           std::find(sources.begin(), sources.end(), options.only) != sources.end();
}

// What a picture is made from, for --only: its source and the list, which
// gives its size and alpha.
std::vector<std::string> pictureSources(const picture::ManifestEntry& entry) {
    return {entry.source, kPictureList};
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
    const bool draft = options.draft && entry.width * entry.height >= kDraftMinPixels;
    job.key = job.fullKey = hash.value;
    if (draft) {
        hash.addField("draft");
        job.key = hash.value;
    }
    job.origin = options.assetsDir + "/" + entry.source;
    job.outputs = {"data/" + entry.name + ".hwl"};
    if (entry.alpha == picture::AlphaKind::Companion)
        job.outputs.push_back("data/" + entry.name + "_alpha.hwl");
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

std::string musicJob(const std::string& musicFile, const Options& options, uint64_t tool,
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

// Everything the run can do, in a good order for parallel work: the
// longest job (the music) first, the script last. Broken sources go to
// `problems`; what does not depend on them is still planned.
void planJobs(const Options& options, std::mutex& renderLock, Problems& problems,
              std::vector<Job>& jobs) {
    const uint64_t tool = toolVersion();
    // With --only, a broken source is reported only where it stops what
    // this run builds: the script and the score for the music and the
    // script, the list for the pictures.
    const bool scriptWanted = wanted(options, {kScore, kScriptSource});
    const std::string scriptPath = options.assetsDir + "/" + kScriptSource;
    std::string script;
    ScriptSummary summary;
    bool scriptGood = false, scoreGood = false;
    // Reading the script the show's way takes time (the show's tables for
    // its whole length): not for a picture's rebuild.
    if (scriptWanted) {
        std::vector<uint8_t> scriptBytes;
        std::string scriptError = readFileBytes(scriptPath, scriptBytes);
        script.assign(scriptBytes.begin(), scriptBytes.end());
        if (scriptError.empty()) scriptError = checkShowScript(script, scriptPath, summary);
        if (!scriptError.empty()) problems.report(scriptError);

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
    std::vector<picture::ManifestEntry> entries;
    const picture::PictureError listError =
        picture::readManifest(options.assetsDir + "/" + kPictureList, entries);
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

// Stopped while it writes an output and its record (the live mode stops
// makeshow when a source is saved again), makeshow would leave a file that
// does not match its record: the next run would take it for a person's
// edit. A stop request waits for the write in progress, then ends the run.
// Globals, since a signal handler can reach nothing else.
std::atomic<int> writesInProgress{0};
std::atomic<bool> stopRequested{false};

void onStopSignal(int signal) {
    stopRequested = true;
    if (writesInProgress == 0) _exit(128 + signal);
}

void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

// The line for an output that makeshow refuses to replace.
std::string refusal(const Options& options, const Job& job, const std::string& output,
                    OutputStatus status) {
    const char* what = status == OutputStatus::Edited
                           ? "changed since makeshow wrote it"
                           : "makeshow has no record of writing it and it differs from what "
                             "makeshow would write (refused to be safe)";
    return options.outDir + "/" + output + ": " + what + "; edit " + job.origin +
           " instead (the source it is built from), or run makeshow with --overwrite to replace it";
}

// Before building: the job of an output already changed by a person is not
// built at all (the music takes seconds). False (and a line for each) when
// refused.
bool mayBuild(const Options& options, const Job& job, const BuildState& state, Problems& problems) {
    if (options.overwrite || job.quick) return true;
    bool may = true;
    for (const std::string& output : job.outputs) {
        const OutputStatus status = checkOutput(state, options.outDir, output, nullptr);
        if (status != OutputStatus::Edited) continue;
        problems.report(refusal(options, job, output, status));
        may = false;
    }
    return may;
}

// Writes a built job's files and their records, under the state lock and
// against the state as it stands now (another run may have written since
// this one started, and a person may have edited an output meanwhile).
void writeJob(const Options& options, const Job& job, const std::vector<BuiltFile>& files,
              Problems& problems, int& built) {
    const StateLock lock(options.outDir);
    if (!lock.error().empty()) return problems.report(lock.error());
    BuildState state = readBuildState(options.outDir);
    // A full version finished first (by another run): the draft is not wanted.
    if (job.fullKey != job.key &&
        outputsUpToDate(state, options.outDir, job.outputs, job.fullKey)) {
        for (const BuiltFile& file : files) std::printf("up to date  %s\n", file.path.c_str());
        return;
    }
    bool refused = false;
    std::vector<bool> unchanged(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        const OutputStatus status =
            checkOutput(state, options.outDir, files[i].path, &files[i].bytes);
        unchanged[i] = status == OutputStatus::Same;
        if (options.overwrite ||
            (status != OutputStatus::Edited && status != OutputStatus::Unrecorded))
            continue;
        problems.report(refusal(options, job, files[i].path, status));
        refused = true;
    }
    if (refused) return;
    ++writesInProgress;
    if (stopRequested) _exit(EXIT_FAILURE); // nothing written yet
    for (size_t i = 0; i < files.size(); ++i) {
        // Identical bytes are not written again: a show watching the folder
        // has nothing to reload.
        if (!unchanged[i]) {
            if (std::string error =
                    writeFileAtomically(options.outDir + "/" + files[i].path, files[i].bytes);
                !error.empty()) {
                problems.report(error);
                break;
            }
        }
        state[files[i].path] = OutputRecord{job.key, hashBytes(files[i].bytes)};
        std::printf("built       %s\n", files[i].report.c_str());
        ++built;
    }
    if (std::string error = writeBuildState(options.outDir, state); !error.empty())
        problems.report(error);
    std::fflush(stdout);
    if (--writesInProgress == 0 && stopRequested) _exit(EXIT_FAILURE);
}

// Runs `pending` jobs on `threads` threads, writing each job's files and
// records as it finishes. A failed job goes to `problems` and the others go on.
void runJobs(const std::vector<const Job*>& pending, int threads, const Options& options,
             Problems& problems, int& built) {
    std::mutex lock; // one job writes at a time; guards built and stdout
    std::atomic<size_t> next{0};
    auto work = [&]() {
        while (true) {
            const size_t index = next++;
            if (index >= pending.size()) return;
            const Job& job = *pending[index];
            std::vector<BuiltFile> files;
            if (std::string error = job.build(files); !error.empty()) {
                problems.report(error);
                continue;
            }
            const std::lock_guard guard(lock);
            writeJob(options, job, files, problems, built);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
}

// After a run with nothing broken, records of outputs no job makes any more
// (a picture taken off the list) drop out of the state.
std::string dropStaleRecords(const std::string& outDir, const std::vector<Job>& jobs) {
    const StateLock lock(outDir);
    if (!lock.error().empty()) return lock.error();
    BuildState state = readBuildState(outDir);
    std::set<std::string> made;
    for (const Job& job : jobs) made.insert(job.outputs.begin(), job.outputs.end());
    if (std::erase_if(state, [&](const auto& record) { return !made.count(record.first); }) == 0)
        return "";
    return writeBuildState(outDir, state);
}

int makeShow(Options options) {
    if (options.assetsDir.empty()) options.assetsDir = findAssetsDir();
    if (options.assetsDir.empty())
        return fail("no sources: the checkout this makeshow was built from has no assets/ and "
                    "there is no ./assets; name the folder with --assets DIR");
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

    const BuildState previous = readBuildState(options.outDir);
    std::vector<const Job*> pending;
    int upToDate = 0;
    for (const Job& job : jobs) {
        if (!options.force &&
            (outputsUpToDate(previous, options.outDir, job.outputs, job.key) ||
             outputsUpToDate(previous, options.outDir, job.outputs, job.fullKey))) {
            for (const std::string& output : job.outputs) {
                std::printf("up to date  %s\n", output.c_str());
                ++upToDate;
            }
        } else if (mayBuild(options, job, previous, problems)) {
            pending.push_back(&job);
        }
    }
    std::fflush(stdout);

    const int threads =
        std::clamp(options.jobs > 0 ? options.jobs : int(std::thread::hardware_concurrency()), 1,
                   std::max(1, int(pending.size())));
    int built = 0;
    catchStopSignals();
    runJobs(pending, threads, options, problems, built);
    // Outputs of a broken source keep their records: mending it must not
    // rebuild what it did not touch.
    if (problems.count() == 0 && options.only.empty()) {
        if (const std::string error = dropStaleRecords(options.outDir, jobs); !error.empty())
            problems.report(error);
    }
    const int broken = problems.count();

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
    app.add_flag("--overwrite", options.overwrite,
                 "replace outputs changed in the show folder since makeshow wrote them");
    app.add_option("--only", options.only,
                   "build only the outputs made from this source (a path in the assets folder, "
                   "such as textures/floor.txt)");
    app.add_flag("--draft", options.draft,
                 "encode large pictures with fixed settings, fast, instead of searching for the "
                 "smallest file");
    app.add_option("--jobs", options.jobs, "outputs built at once (default: one per core)")
        ->check(CLI::Range(1, kMaxJobs));
    app.add_option("--assets", options.assetsDir,
                   "source folder (default: the assets/ of the checkout this makeshow was "
                   "built in or configured from, else ./assets)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& request) {
        return app.exit(request);
    } catch (const CLI::ParseError& error) {
        fail(error.what()); // one line, unlike CLI11's default two
        return 1;
    }
    if (!options.only.empty())
        options.only = fs::path(options.only).lexically_normal().generic_string();
    return makeShow(options);
}
