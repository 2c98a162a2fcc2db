// Folders watched for saved files. Editors save by writing a temporary file
// and renaming it, or by writing in several steps; a path is reported once
// it has been quiet for a settle time, so one save gives one report and a
// half-written file is never read (a file renamed into place is whole and
// reported at once). Uses inotify; where that is missing, the
// folders are scanned once a second.
//
//   FileWatch watch;
//   watchFolder(watch, "build/showdir", false);
//   watchFolder(watch, "assets", true);            // and every folder below
//   each frame: for (const std::string& path : settledChanges(watch)) ...  // never waits
//   closeFileWatch(watch);
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct FileWatch {
    int inotify = -1;                   // -1 until the first folder, or when scanning
    bool scanning = false;              // no inotify on this system
    std::map<int, std::string> folders; // inotify watch -> folder
    std::vector<std::string> scanned;   // the folders a scan looks at
    std::map<std::string, std::pair<int64_t, int64_t>> seen; // scan: path -> (mtime, size)
    std::chrono::steady_clock::time_point nextScan{};
    std::map<std::string, std::chrono::steady_clock::time_point> pending; // path -> last change
};

// Quiet time before a changed path is reported.
inline constexpr std::chrono::milliseconds kSettleTime{200};

// False when the folder cannot be watched.
bool watchFolder(FileWatch& watch, const std::string& folder, bool recursive);

// Paths (folder + "/" + name) changed, created or removed, quiet for
// kSettleTime, each once, sorted.
std::vector<std::string> settledChanges(FileWatch& watch);

void closeFileWatch(FileWatch& watch);
