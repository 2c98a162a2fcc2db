// Folders watched for saved files. Editors save by writing a temporary file
// and renaming it, or by writing in several steps; a path is reported once
// it has been quiet for a settle time, so one save gives one report and a
// half-written file is never read (a file renamed into place, or closed by
// its writer, is whole and reported at once). Uses inotify; where that is
// missing, the folders are scanned once a second.
//
// A thread of its own notices the changes and times the settling, and says
// so as soon as a path is ready: a loop resting in a wait can be woken then
// instead of looking again and again.
//
//   FileWatch watch;
//   watchFolder(watch, "build/showdir", false);
//   watchFolder(watch, "assets", true);            // and every folder below
//   startFileWatch(watch, [] { wakeInputWait(); }); // called on the watch's thread
//   each frame: for (const std::string& path : settledChanges(watch)) ...  // never waits
//   closeFileWatch(watch);
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct FileWatch {
    // The watching itself: the watch's thread once started.
    int inotify = -1;                   // -1 until the first folder, or when scanning
    bool scanning = false;              // no inotify on this system
    std::map<int, std::string> folders; // inotify watch -> folder
    std::vector<std::string> scanned;   // the folders a scan looks at
    std::map<std::string, std::pair<int64_t, int64_t>> seen; // scan: path -> (mtime, size)
    std::chrono::steady_clock::time_point nextScan{};
    std::map<std::string, std::chrono::steady_clock::time_point> pending; // path -> last change

    // Shared between the watch's thread and the caller's.
    std::mutex lock;
    std::set<std::string> settled; // quiet, not yet taken; under lock
    bool stopping = false;         // under lock
    std::condition_variable stop;  // ends a scanning thread's wait
    int stopPipe[2] = {-1, -1};    // ends an inotify thread's wait
    std::thread thread;            // none: settledChanges does the work itself
    std::function<void()> onSettled;
};

// Quiet time before a changed path is reported.
inline constexpr std::chrono::milliseconds kSettleTime{200};

// False when the folder cannot be watched. Before startFileWatch.
bool watchFolder(FileWatch& watch, const std::string& folder, bool recursive);

// Watches on a thread, calling `onSettled` there each time paths have
// become ready. Without a thread (none could be started), the paths are
// found when settledChanges is called, and `onSettled` is never called.
void startFileWatch(FileWatch& watch, std::function<void()> onSettled);

// Paths (folder + "/" + name) changed, created or removed, quiet for
// kSettleTime, each once, sorted.
std::vector<std::string> settledChanges(FileWatch& watch);

// Stops the thread and the watching.
void closeFileWatch(FileWatch& watch);
