// Progress of a long run on stderr: on a terminal one line redrawn in place
// with a bar and the time left; otherwise a plain line now and then, for logs.
//
//   ProgressBar bar = startProgress(total);
//   for (...) { ...; advanceProgress(bar); }
//   finishProgress(bar);
#pragma once

#include <chrono>
#include <cstdint>

struct ProgressBar {
    int64_t total = 0;
    int64_t done = 0;
    bool terminal = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastShown;
    int64_t lastShownDone = -1;
};

ProgressBar startProgress(int64_t total);

// One more step done; redraws when enough time has passed.
void advanceProgress(ProgressBar& bar);

// The final state, and the terminal's line ended.
void finishProgress(ProgressBar& bar);

// Ends the terminal's line before an error message; prints nothing else.
void abandonProgress(ProgressBar& bar);
