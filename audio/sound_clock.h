// A smooth clock that follows a sound device's play position.
//
// The device reports only at its callbacks (every 10 to 100 ms, at irregular
// moments): "at time T, position P is being heard". Stepping the clock to
// each report would show frames a staircase of buffer-sized steps. Instead
// the clock runs on the monotonic clock at a rate that a
// proportional-integral loop trims after every report, so it stays
// continuous, never goes backwards, and settles onto the device's own speed
// (a few ms of error that fades within seconds).
//
//   PlayClock clock;
//   clockReport(clock, heardMs, callbackNs);       // whenever a new report is seen
//   double now = clockTime(clock, nowNs, handedMs); // each frame
#pragma once

#include <cstdint>

struct PlayClock {
    bool started = false; // a first report has been seen
    double baseMs = 0;    // clock value at baseNs
    int64_t baseNs = 0;   // where the current straight piece starts
    double rate = 1;      // clock ms per monotonic ms on this piece
    double integral = 0;  // learned rate offset of the device
    int64_t lastReportNs = 0;
    double lastResult = 0; // nothing returned later is smaller
};

// A report: `positionMs` is heard at monotonic time `atNs`.
void clockReport(PlayClock& clock, double positionMs, int64_t atNs);

// The clock at `nowNs` in ms: 0 before the first report, never below an
// earlier result, and never beyond `limitMs` (what has reached the device).
double clockTime(PlayClock& clock, int64_t nowNs, double limitMs);
