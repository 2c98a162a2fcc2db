#include "live/file_watch.h"

#include <filesystem>

#include "platform/open_file.h"

// Windows has no inotify: there the folders are scanned once a second,
// which the show's files (whole pictures, a script, the music) need no
// faster than that.
#ifndef _WIN32
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

#ifndef _WIN32
constexpr uint32_t kEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE | IN_MODIFY;
constexpr size_t kEventBuffer = 64 * 1024;
#endif
constexpr auto kScanPeriod = std::chrono::seconds(1);

// Names as the rest of the show has them: UTF-8, '/' between folders.
std::string utf8(const std::u8string& name) {
    return std::string(name.begin(), name.end());
}

bool addFolder(FileWatch& watch, const std::string& folder) {
    if (watch.scanning) {
        watch.scanned.push_back(folder);
        return true;
    }
#ifdef _WIN32
    return false;
#else
    const int id = inotify_add_watch(watch.inotify, folder.c_str(), kEvents);
    if (id < 0) return false;
    watch.folders[id] = folder;
    return true;
#endif
}

#ifndef _WIN32
void readEvents(FileWatch& watch, Clock::time_point now) {
    alignas(inotify_event) char buffer[kEventBuffer];
    ssize_t length;
    while ((length = read(watch.inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            const auto folder = watch.folders.find(event->wd);
            if (event->len == 0 || folder == watch.folders.end()) continue;
            const std::string path = folder->second + "/" + event->name;
            if ((event->mask & IN_ISDIR) != 0) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) == 0) continue;
                addFolder(watch, path);
                // What arrived in it before it was watched counts as changed.
                std::error_code error;
                for (const fs::directory_entry& entry : fs::directory_iterator(path, error))
                    if (entry.is_regular_file(error)) watch.pending[entry.path().string()] = now;
                continue;
            }
            // A file renamed into place is whole (editors and makeshow save
            // so), and so is one its writer closed: no need to wait for it to
            // settle, unless more follows.
            const bool whole = (event->mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) != 0;
            watch.pending[path] = whole ? now - kSettleTime : now;
        }
    }
}
#endif

void scan(FileWatch& watch, Clock::time_point now) {
    if (now < watch.nextScan) return;
    const bool first = watch.nextScan == Clock::time_point{}; // only learns what is there
    watch.nextScan = now + kScanPeriod;
    std::map<std::string, std::pair<int64_t, int64_t>> current;
    for (const std::string& folder : watch.scanned) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(utf8Path(folder), error)) {
            if (!entry.is_regular_file(error)) continue;
            const int64_t time = entry.last_write_time(error).time_since_epoch().count();
            // Named as inotify names them, with '/' on every system.
            const std::string path = folder + "/" + utf8(entry.path().filename().u8string());
            current[path] = {time, int64_t(entry.file_size(error))};
        }
    }
    if (!first) {
        for (const auto& [path, stamp] : current) {
            const auto old = watch.seen.find(path);
            if (old == watch.seen.end() || old->second != stamp) watch.pending[path] = now;
        }
        for (const auto& [path, stamp] : watch.seen) {
            if (!current.count(path)) watch.pending[path] = now;
        }
    }
    watch.seen = std::move(current);
}

} // namespace

bool watchFolder(FileWatch& watch, const std::string& folder, bool recursive) {
    if (watch.inotify < 0 && !watch.scanning) {
#ifdef _WIN32
        watch.scanning = true;
#else
        watch.inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        watch.scanning = watch.inotify < 0;
#endif
    }
    const fs::path root = utf8Path(folder);
    if (!fs::is_directory(root) || !addFolder(watch, folder)) return false;
    if (recursive) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root, error)) {
            if (entry.is_directory(error))
                addFolder(watch,
                          folder + "/" +
                              utf8(entry.path().lexically_relative(root).generic_u8string()));
        }
    }
    return true;
}

std::vector<std::string> settledChanges(FileWatch& watch) {
    const Clock::time_point now = Clock::now();
    if (watch.scanning) {
        scan(watch, now);
    }
#ifndef _WIN32
    else if (watch.inotify >= 0) {
        readEvents(watch, now);
    }
#endif
    std::vector<std::string> settled;
    for (auto it = watch.pending.begin(); it != watch.pending.end();) {
        if (now - it->second < kSettleTime) {
            ++it;
            continue;
        }
        settled.push_back(it->first);
        it = watch.pending.erase(it);
    }
    return settled;
}

void closeFileWatch(FileWatch& watch) {
#ifndef _WIN32
    if (watch.inotify >= 0) close(watch.inotify);
#endif
    watch = FileWatch{};
}
