// Rebuilding the show directory from its sources by running the makeshow
// tool: the same code and the same up-to-date check as the command, so only
// what an edit affects is built, and the show keeps running if it fails.
//
// Each saved source gets a rebuild of its own, on a thread of its own, so
// that a picture never waits for the music (makeshow's state file is locked
// per write, so runs on one show folder may overlap):
//
//   std::unique_ptr<SourceRebuild> rebuild = startSourceRebuild(request, report);
//   stopSourceRebuild(*rebuild);   // a newer save, or the end: stops makeshow
//   once rebuild->finished (or after a stop): joinSourceRebuild(*rebuild)
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

struct RebuildResult {
    bool ok = false;
    std::string message; // on failure: makeshow's one-line reason
};

// A running makeshow, for stopping it from another thread.
struct RebuildChild {
    std::atomic<pid_t> pid{0};
    std::atomic<bool> stopped{false};
};

// Why sources cannot be rebuilt on this system (makeshow needs librsvg and
// exists for Linux only), or null where they can.
const char* sourceRebuildsUnavailable();

// The makeshow built beside this program (tools/ next to its runtime/
// folder), or the one on PATH.
std::string makeshowExecutable();

// Runs `executable SHOWDIR --assets ASSETSDIR ARGUMENTS...` and waits; a
// `background` run has a lower priority than the show and the drafts. Fails
// at once when `child` was stopped.
RebuildResult runMakeshow(const std::string& executable, const std::string& showDir,
                          const std::string& assetsDir, const std::vector<std::string>& arguments,
                          RebuildChild& child, bool background = false);

// Stops the makeshow running for `child` (and any it would start); makeshow
// finishes the output it is writing first.
void stopRebuildChild(RebuildChild& child);

struct RebuildRequest {
    std::string executable;
    std::string showDir;
    std::string assetsDir;
    std::string source; // relative to assetsDir
};

// One source's rebuild: for a source that may hold pictures, first a draft
// (fixed encoder settings, on screen in a moment), then the full search at a
// lower priority; the script and the score get the full run only. `report`
// is called on the rebuild's thread after each run that was not stopped and
// whose source was not saved again meanwhile (the newer save's rebuild
// reports then).
struct SourceRebuild {
    std::thread thread;
    RebuildChild child;
    std::atomic<bool> finished{false};
};
std::unique_ptr<SourceRebuild> startSourceRebuild(const RebuildRequest& request,
                                                  std::function<void(const RebuildResult&)> report);
void stopSourceRebuild(SourceRebuild& rebuild);
void joinSourceRebuild(SourceRebuild& rebuild);

// "ASSETS/textures/floor.txt: line 3, column 7: unknown operator" becomes
// "textures/floor.txt:3:7: unknown operator" and `source` becomes
// "textures/floor.txt"; one naming a file of the show folder ("SHOW/script.sqx:
// changed since makeshow wrote it; ...") becomes "script.sqx: ..." and
// `source` "script.sqx"; a message naming neither keeps `source` as given
// and becomes "SOURCE: MESSAGE".
std::string sourceError(const std::string& message, const std::string& assetsDir,
                        const std::string& showDir, std::string& source);
