// What makeshow built last time, kept in OUTDIR/makeshow.state: for each
// output file the key it was built from (a hash of its sources, settings and
// the tool) and the hash of the file as written. An output is up to date when
// its key is unchanged and the file still has the bytes makeshow wrote.
//
// The file hash is also what keeps a person's edit: an output whose bytes
// are not the ones makeshow wrote was changed by someone, and makeshow
// leaves it alone unless told to overwrite it.
//
// Several makeshow runs may work on one show folder at once (the live mode
// rebuilds each edited source on its own): each holds the lock while it
// writes an output and its record, and merges its records into the file as
// it stands then, so no run drops another's.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kStateFile = "makeshow.state";
inline constexpr const char* kStateLockFile = "makeshow.lock";

struct OutputRecord {
    uint64_t key = 0;
    uint64_t fileHash = 0;
};

// By the output's path relative to OUTDIR ("data/floor.hwl").
using BuildState = std::map<std::string, OutputRecord>;

// A missing state file is an empty state (everything gets built); lines that
// do not read are dropped, so their outputs are built again.
BuildState readBuildState(const std::string& outDir);

// The same on the state file's text.
BuildState parseBuildState(std::string_view text);

// Empty on success.
std::string writeBuildState(const std::string& outDir, const BuildState& state);

// Every one of `outputs` is recorded with `key` and its file in `outDir`
// hashes to the recorded value.
bool outputsUpToDate(const BuildState& state, const std::string& outDir,
                     const std::vector<std::string>& outputs, uint64_t key);

// What an output file in the show folder is to makeshow.
enum class OutputStatus {
    Missing,    // no file: free to write
    Ours,       // the bytes makeshow recorded writing
    Same,       // the bytes about to be written (whoever wrote them)
    Edited,     // recorded, but the bytes changed since: a person's edit
    Unrecorded, // no record (a folder made by hand, a lost state file), other bytes
};

// `built`: the bytes a run is about to write, or null when not built yet
// (then Same is never the answer).
OutputStatus checkOutput(const BuildState& state, const std::string& outDir,
                         const std::string& output, const std::vector<uint8_t>* built);

// The exclusive lock on OUTDIR/makeshow.lock, held while alive; waits for
// other makeshow runs on the same folder. `error` is empty when held.
class StateLock {
  public:
    explicit StateLock(const std::string& outDir);
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    const std::string& error() const { return error_; }

  private:
    int fd_ = -1;
    std::string error_;
};
