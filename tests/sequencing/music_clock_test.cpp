// The play clock against a simulated device whose reports come late and
// irregularly, and whose speed differs from the monotonic clock's: the
// clock must never step back, stay smooth between frames and settle onto
// the device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "sequencing/sound_clock.h"

namespace {

constexpr int64_t kNsPerMs = 1000000;

struct Device {
    double speed;    // device ms per monotonic ms
    double periodMs; // device time per callback
    double lateMs;   // the largest callback delay
    uint32_t seed = 12345;

    // A fixed sequence of delays in [0, lateMs).
    double delay() {
        seed = seed * 1664525u + 1013904223u;
        return lateMs * double(seed >> 8) / double(1u << 24);
    }
};

struct Outcome {
    double worstStepMs = 0;  // largest |clock delta - wall delta| between frames
    double finalErrorMs = 0; // clock minus device position at the end
    bool backwards = false;
};

// Frames every `frameMs`; the device calls back every period (plus a
// random delay) and the frame that follows reports it.
Outcome simulate(Device device, double seconds, double frameMs) {
    PlayClock clock;
    Outcome run;
    double nextCallbackMs = 0, callbackDueMs = 0, heardAtCallback = 0;
    bool pending = false;
    int64_t reportNs = 0;
    double lastTime = 0, lastWall = 0;
    for (double wall = 0; wall < seconds * 1000; wall += frameMs) {
        while (callbackDueMs <= wall) {
            heardAtCallback = callbackDueMs * device.speed;
            reportNs = int64_t(callbackDueMs * kNsPerMs);
            pending = true;
            nextCallbackMs += device.periodMs / device.speed;
            callbackDueMs = nextCallbackMs + device.delay();
        }
        if (pending) clockReport(clock, heardAtCallback, reportNs);
        pending = false;
        const double time = clockTime(clock, int64_t(wall * kNsPerMs), 1e12);
        if (time < lastTime) run.backwards = true;
        if (wall > 3000) {
            run.worstStepMs =
                std::max(run.worstStepMs, std::abs((time - lastTime) - (wall - lastWall)));
        }
        run.finalErrorMs = time - wall * device.speed;
        lastTime = time;
        lastWall = wall;
    }
    return run;
}

} // namespace

TEST(PlayClock, FollowsAFastJitteryDeviceSmoothly) {
    struct Case {
        const char* name;
        Device device;
        double frameMs;
    } cases[] = {
        {"steady", {1.0, 23.22, 0}, 2},
        {"fast dummy", {1.006, 23.22, 3}, 2},
        {"slow card, late callbacks", {0.999, 10.0, 8}, 16.7},
        {"large periods, slow frames", {1.002, 85.0, 20}, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = simulate(c.device, 30, c.frameMs);
        EXPECT_FALSE(run.backwards);
        // The reports lag by up to the callback delay; the clock sits within
        // that of the device once settled.
        EXPECT_LT(std::abs(run.finalErrorMs), c.device.lateMs + 2);
        // A frame's step differs from the wall's by a small fraction of it.
        EXPECT_LT(run.worstStepMs, 0.05 * c.frameMs + 0.01);
    }
}

TEST(PlayClock, StartsAtZeroHoldsAtTheLimitAndJumpsAfterAStall) {
    PlayClock clock;
    EXPECT_EQ(clockTime(clock, 5 * kNsPerMs, 1e12), 0);
    clockReport(clock, -40, 0); // the first sound is still on its way
    EXPECT_EQ(clockTime(clock, 20 * kNsPerMs, 1e12), 0);
    EXPECT_NEAR(clockTime(clock, 100 * kNsPerMs, 1e12), 60, 1e-9);
    // Nothing beyond what the device has been given, and no step back after.
    EXPECT_EQ(clockTime(clock, 200 * kNsPerMs, 90), 90);
    EXPECT_EQ(clockTime(clock, 210 * kNsPerMs, 80), 90);
    // The device leaps ahead (it stalled the reader): the clock jumps too.
    clockReport(clock, 5000, 300 * kNsPerMs);
    EXPECT_NEAR(clockTime(clock, 300 * kNsPerMs, 1e12), 5000, 1e-9);
}
