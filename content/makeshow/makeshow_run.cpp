#include "content/makeshow/makeshow_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>
#include <unistd.h>

#include "content/makeshow/makeshow_files.h"
#include "content/makeshow/makeshow_hash.h"
#include "content/makeshow/makeshow_scenes.h"
#include "content/makeshow/makeshow_state.h"

namespace fs = std::filesystem;

namespace {

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
std::string refusal(const MakeshowOptions& options, const Job& job, const std::string& output,
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
bool mayBuild(const MakeshowOptions& options, const Job& job, const BuildState& state,
              Problems& problems) {
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
void writeJob(const MakeshowOptions& options, const Job& job, const std::vector<BuiltFile>& files,
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
void runJobs(const std::vector<const Job*>& pending, int threads, const MakeshowOptions& options,
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
// (a picture taken off the list) drop out of the state. A scene file whose
// source is gone goes too, unless someone changed it: the show reads every
// file of its scenes/ folder.
std::string dropStaleRecords(const std::string& outDir, const std::vector<Job>& jobs) {
    const StateLock lock(outDir);
    if (!lock.error().empty()) return lock.error();
    BuildState state = readBuildState(outDir);
    std::set<std::string> made;
    for (const Job& job : jobs) made.insert(job.outputs.begin(), job.outputs.end());
    const std::string sceneFolder = std::string(kSceneFolder) + "/";
    for (const auto& [output, record] : state) {
        if (made.count(output) || !output.starts_with(sceneFolder)) continue;
        if (checkOutput(state, outDir, output, nullptr) != OutputStatus::Ours) continue;
        std::error_code error;
        fs::remove(outDir + "/" + output, error);
    }
    if (std::erase_if(state, [&](const auto& record) { return !made.count(record.first); }) == 0)
        return "";
    return writeBuildState(outDir, state);
}

} // namespace

int makeShow(MakeshowOptions options) {
    if (options.assetsDir.empty()) options.assetsDir = findAssetsDir();
    if (options.assetsDir.empty())
        return makeshowFail(
            "no sources: the checkout this makeshow was built from has no assets/ and "
            "there is no ./assets; name the folder with --assets DIR");
    const auto start = std::chrono::steady_clock::now();
    std::error_code error;
    fs::create_directories(options.outDir, error);
    if (!fs::is_directory(options.outDir))
        return makeshowFail(options.outDir + ": cannot create the show folder" +
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
