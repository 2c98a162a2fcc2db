#include "content/synth/part_cache.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <system_error>
#include <thread>

#include "content/synth/track_parts.h"

namespace synth {

namespace {

namespace fs = std::filesystem;

constexpr std::array<char, 8> kMagic = {'I', 'H', 'D', 'R', 'Y', 'M', 'I', 'X'};
constexpr const char* kExtension = ".mix";
constexpr const char* kScratchExtension = ".mix.tmp";
constexpr size_t kKeyDigits = 16;
// 2^64 over the golden ratio: spreads the program's size over all the bits.
constexpr uint64_t kSpread = 0x9E3779B97F4A7C15ull;

// A part's file: this header, then the part's master (interleaved stereo),
// its reverb send and its delay send, as the machine's floats.
struct PartHeader {
    std::array<char, 8> magic = kMagic;
    uint64_t program = 0;
    uint64_t key = 0;
    int64_t frames = 0;
};

// Which build of the program wrote a file: its size and time. A synth
// rebuilt with other sounds must not take parts an older one made.
uint64_t programStamp() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error) return 0;
    const uintmax_t size = fs::file_size(self, error);
    if (error) return 0;
    const auto time = fs::last_write_time(self, error);
    if (error) return 0;
    return uint64_t(size) * kSpread ^ uint64_t(time.time_since_epoch().count());
}

std::string keyName(uint64_t key) {
    char name[kKeyDigits + 1];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(key));
    return name;
}

bool readAll(std::span<float> samples, std::FILE* file) {
    return std::fread(samples.data(), sizeof(float), samples.size(), file) == samples.size();
}

bool writeAll(std::span<const float> samples, std::FILE* file) {
    return std::fwrite(samples.data(), sizeof(float), samples.size(), file) == samples.size();
}

bool readPart(const std::string& path, uint64_t program, const TrackPart& part, DryPart to) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    PartHeader header;
    const PartHeader expected{kMagic, program, part.key, part.frames};
    bool fine = std::fread(&header, sizeof header, 1, file) == 1 &&
                std::memcmp(&header, &expected, sizeof header) == 0 && readAll(to.master, file) &&
                readAll(to.reverbSend, file) && readAll(to.delaySend, file) &&
                std::fgetc(file) == EOF;
    std::fclose(file);
    return fine;
}

// Through a scratch name and a rename, so that no reader sees half a part.
bool writePart(const std::string& path, uint64_t program, const TrackPart& part, DryPart from) {
    const std::string scratch = path + ".tmp";
    std::FILE* file = std::fopen(scratch.c_str(), "wb");
    if (!file) return false;
    const PartHeader header{kMagic, program, part.key, part.frames};
    bool fine = std::fwrite(&header, sizeof header, 1, file) == 1 && writeAll(from.master, file) &&
                writeAll(from.reverbSend, file) && writeAll(from.delaySend, file);
    fine = std::fclose(file) == 0 && fine;
    std::error_code error;
    if (fine) fs::rename(scratch, path, error);
    if (!fine || error) fs::remove(scratch, error);
    return fine && !error;
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Removes the part files (and scratch files left by a run that stopped)
// whose keys are not `keep`; nothing else in the folder is touched.
void removeOtherParts(const std::string& folder, const std::set<std::string>& keep) {
    std::error_code error;
    std::vector<fs::path> doomed;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const bool scratch = endsWith(name, kScratchExtension);
        if (!scratch && !endsWith(name, kExtension)) continue;
        const std::string stem = name.substr(0, kKeyDigits);
        const size_t tail = scratch ? std::strlen(kScratchExtension) : std::strlen(kExtension);
        if (name.size() != kKeyDigits + tail ||
            stem.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        if (scratch || !keep.count(stem)) doomed.push_back(entry.path());
    }
    for (const fs::path& path : doomed) fs::remove(path, error);
}

} // namespace

namespace {

// Fills `track` (silentTrack's for `plan`), reusing and refreshing the
// parts in `folder`.
void assembleWithPartCache(const Score& score, const TrackPlan& plan, const std::string& folder,
                           PartCacheReport& report, Track& track,
                           const std::function<void(int64_t)>& settled) {
    report = {};
    const uint64_t program = programStamp();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) report.trouble = folder + ": cannot make the folder (" + error.message() + ")";

    std::set<std::string> keep;
    const auto makePart = [&](size_t p, DryPart dry) {
        const TrackPart& part = plan.parts[p];
        // Silence costs nothing to make and is not worth a file.
        if (part.silent) return;
        const std::string name = keyName(part.key);
        const std::string path = folder + "/" + name + kExtension;
        keep.insert(name);
        if (readPart(path, program, part, dry)) {
            ++report.reused;
            return;
        }
        for (const std::span<float> samples : {dry.master, dry.reverbSend, dry.delaySend})
            std::fill(samples.begin(), samples.end(), 0.0f);
        renderPart(score, plan, p, dry);
        ++report.made;
        if (!writePart(path, program, part, dry) && report.trouble.empty())
            report.trouble = path + ": cannot write this part of the music";
    };
    assembleTrack(score, plan, makePart, track, settled);
    removeOtherParts(folder, keep);
}

// How far the track is made, for the encoder that follows it.
struct Progress {
    std::mutex mutex;
    std::condition_variable moved;
    int64_t settled = 0;

    void reach(int64_t frames) {
        {
            const std::lock_guard lock(mutex);
            settled = frames;
        }
        moved.notify_all();
    }
    void waitFor(int64_t frames) {
        std::unique_lock lock(mutex);
        moved.wait(lock, [&] { return settled >= frames; });
    }
};

} // namespace

Track renderWithPartCache(const Score& score, const std::string& folder, PartCacheReport& report,
                          int32_t rate) {
    const TrackPlan plan = planTrack(score, rate);
    Track track = silentTrack(plan);
    assembleWithPartCache(score, plan, folder, report, track, {});
    return track;
}

std::string writeOggWithPartCache(const Score& score, const std::string& folder,
                                  const std::string& path, PartCacheReport& report, Track& track,
                                  int32_t rate, double quality) {
    const TrackPlan plan = planTrack(score, rate);
    track = silentTrack(plan);
    Progress progress;
    std::string trouble;
    std::thread encoder([&] {
        trouble = writeOggVorbis(path, track.samples, track.rate, quality,
                                 [&](int64_t frames) { progress.waitFor(frames); });
    });
    {
        // Whatever happens here, the encoder is never left waiting for
        // frames that will not come.
        struct Finally {
            Progress& progress;
            int64_t frames;
            std::thread& encoder;
            ~Finally() {
                progress.reach(frames);
                encoder.join();
            }
        } finally{progress, plan.frames, encoder};
        assembleWithPartCache(score, plan, folder, report, track,
                              [&](int64_t frames) { progress.reach(frames); });
    }
    return trouble;
}

} // namespace synth
