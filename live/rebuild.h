// Rebuilding the show directory from its sources by running the makeshow
// tool: the same code and the same up-to-date check as the command, so only
// what an edit affects is built, and the show keeps running if it fails.
//
//   RebuildResult result = runMakeshow(makeshowExecutable(), showDir, assetsDir, &child);
#pragma once

#include <atomic>
#include <string>
#include <sys/types.h>

struct RebuildResult {
    bool ok = false;
    std::string message; // on failure: makeshow's one-line reason
};

// The makeshow built beside this program (tools/ next to its runtime/
// folder), or the one on PATH.
std::string makeshowExecutable();

// Runs it and waits. `child` holds its process id while it runs, for
// stopping it early.
RebuildResult runMakeshow(const std::string& executable, const std::string& showDir,
                          const std::string& assetsDir, std::atomic<pid_t>* child);

// "ASSETS/textures/floor.txt: line 3, column 7: unknown operator" becomes
// "textures/floor.txt:3:7: unknown operator" and `source` becomes
// "textures/floor.txt"; one naming a file of the show folder ("SHOW/script.sqx:
// changed since makeshow wrote it; ...") becomes "script.sqx: ..." and
// `source` "script.sqx"; a message naming neither keeps `source` as given
// and becomes "SOURCE: MESSAGE".
std::string sourceError(const std::string& message, const std::string& assetsDir,
                        const std::string& showDir, std::string& source);
