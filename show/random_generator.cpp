#include "show/random_generator.h"

#include <cmath>

namespace {

// Seeding steps through its own sequence to set the two further states.
constexpr uint32_t kSeedModulus = 1000003;
constexpr uint32_t kSeedMultiplier = 998;
constexpr uint32_t kSeedDrawRange = 65000;

// Three generators for a draw: multiplier and modulus of each.
constexpr uint32_t kSMultiplier = 706, kSModulus = 500009;
constexpr uint32_t kYMultiplier = 774, kYModulus = 600011;
constexpr uint32_t kZMultiplier = 871, kZModulus = 765241;

struct RandomState {
    uint32_t s = 0;
    uint32_t y = 0;
    uint32_t z = 0;
    bool needsSeeding = true;
    uint32_t seedAfterLastDraw = 0; // tells a draw whether someone assigned s
};

RandomState state;

// (a + 1) x multiplier mod modulus, the product taken in full.
uint32_t step(uint32_t a, uint32_t multiplier, uint32_t modulus) {
    return uint32_t((uint64_t(a) + 1) * multiplier % modulus);
}

uint32_t seedDraw(uint32_t range) {
    state.s = step(state.s, kSeedMultiplier, kSeedModulus);
    return range == 0 ? 0 : state.s % range;
}

uint32_t product(uint32_t a, uint32_t b, uint32_t modulus) {
    return uint32_t(uint64_t(a) * b % modulus);
}

void seed() {
    state.s %= kSeedModulus;
    const uint32_t first = seedDraw(kSeedDrawRange);
    const uint32_t second = seedDraw(kSeedDrawRange);
    const uint32_t third = seedDraw(kSeedDrawRange);
    const uint32_t fourth = seedDraw(kSeedDrawRange);
    state.y = product(first, second, kYModulus);
    state.z = product(third, fourth, kZModulus);
}

} // namespace

int32_t random(int32_t n) {
    if (state.needsSeeding || state.s != state.seedAfterLastDraw) {
        state.needsSeeding = false;
        seed();
    }
    state.s = step(state.s, kSMultiplier, kSModulus);
    state.y = step(state.y, kYMultiplier, kYModulus);
    state.z = step(state.z, kZMultiplier, kZModulus);
    state.seedAfterLastDraw = state.s;
    // The sum is kept in extended precision: its fraction decides the draw.
    const long double sum = (long double)state.s / kSModulus + (long double)state.y / kYModulus +
                            (long double)state.z / kZModulus;
    const long double fraction = sum - std::floor(sum);
    return int32_t(fraction * n);
}

void setRandomSeed(uint32_t seed) {
    state.s = seed;
}

void restartRandom() {
    state = RandomState{};
}
