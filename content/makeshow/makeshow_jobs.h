// makeshow's plan: the jobs that make the show folder's outputs from the
// sources, each with the key its outputs are built from and the source a
// person edits instead of them.
//
//   std::vector<Job> jobs;
//   planJobs(options, renderLock, problems, jobs);
//   std::string error = jobs[i].build(files);
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// What a run is asked to do.
struct MakeshowOptions {
    std::string outDir;
    std::string assetsDir; // empty: found at run time
    bool force = false;
    bool overwrite = false; // replace outputs a person changed
    std::string only;       // build only what this source makes; empty: everything
    bool draft = false;     // large pictures with fixed settings, no search
    int jobs = 0;
};

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

// "makeshow: LINE" on stderr; returns the tool's failure code.
int makeshowFail(const std::string& message);

// The broken sources of a run, each reported as it is found. Thread-safe.
class Problems {
  public:
    void report(const std::string& line);
    int count();

  private:
    std::mutex lock_;
    int count_ = 0;
};

// Everything the run can do, in a good order for parallel work: the
// longest job (the music) first, the script last. Broken sources go to
// `problems`; what does not depend on them is still planned. Pictures take
// `renderLock` while they render.
void planJobs(const MakeshowOptions& options, std::mutex& renderLock, Problems& problems,
              std::vector<Job>& jobs);
