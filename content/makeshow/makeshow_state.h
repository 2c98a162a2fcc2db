// What makeshow built last time, kept in OUTDIR/makeshow.state: for each
// output file the key it was built from (a hash of its sources, settings and
// the tool) and the hash of the file as written. An output is up to date when
// its key is unchanged and the file still has the bytes makeshow wrote.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kStateFile = "makeshow.state";

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
