// Combiner operators: dst := f(srcA, srcB), channel by channel, red, green,
// blue. All but randCombineLayers are pointwise, so dst may be either source.
//
// Arithmetic: products of a byte and a float are exact in double; a value the
// combiner stores as a float is rounded to single precision at that point.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "texgen/clamped_store.h"
#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

namespace {

constexpr double kMaxChannel = 255.0;
constexpr uint8_t kMidGrey = 127;
constexpr double kScatterSpread = 1.5; // weights scale the copy counts by 1.5 * W*H

// The scatter always starts from this state, so its pattern never changes.
constexpr uint32_t kScatterSeed = 45390954;      // 0x02B49C6A
constexpr uint32_t kRandomMultiplier = 22695477; // the library generator's multiplier

// From kScatterSeed the draws repeat after 2^29 of them (the seed is twice an
// odd number and the multiplier is 5 mod 8). One round draws 8 numbers while
// both sources copy and 4 once only one does.
constexpr int64_t kScatterCycleDraws = int64_t{1} << 29;
constexpr int64_t kDrawsPerPairedRound = 8;
constexpr int64_t kDrawsPerSingleRound = 4;

constexpr uint32_t advanceRandom(uint32_t state, int64_t draws) {
    uint32_t factor = kRandomMultiplier;
    for (; draws > 0; draws >>= 1) {
        if (draws & 1) state *= factor;
        factor *= factor;
    }
    return state;
}
static_assert(advanceRandom(kScatterSeed, kScatterCycleDraws) == kScatterSeed);

// Large enough that any count beyond it is reduced by whole cycles anyway.
constexpr double kMaxScatterCount = 4611686018427387904.0; // 2^62

// trunc(s * k) for the bitwise combiners; out-of-range products give
// INT32_MIN, whose low byte is 0.
int32_t weighted(uint8_t s, float k) {
    return truncToInt32(static_cast<double>(s) * k);
}

template <typename Channel> void combine(int srcA, int srcB, int dst, Channel channel) {
    const uint8_t* a = layerData[srcA];
    const uint8_t* b = layerData[srcB];
    uint8_t* out = layerData[dst];
    const int64_t bytes = layerByteCount();
    for (int64_t n = 0; n < bytes; ++n) out[n] = channel(a[n], b[n]);
}

// Copies a whole pixel from `src` to the same place in the scratch buffer.
void scatterPixel(int src, uint32_t x, uint32_t y) {
    const auto px = static_cast<int32_t>(x & static_cast<uint32_t>(wrapMaskX));
    const auto py = static_cast<int32_t>(y & static_cast<uint32_t>(wrapMaskY));
    std::memcpy(pixelAt(kScratchLayer, px, py), pixelAt(src, px, py), kBytesPerPixel);
}

// Number of copy rounds for one source: W*H * weight', half to even. Negative
// and NaN give none; absurdly large ones are capped (see dropWholeCycles).
int64_t scatterRounds(float spreadWeight) {
    const double rounds =
        std::nearbyint(static_cast<double>(layerWidth) * layerHeight * spreadWeight);
    if (!(rounds > 0.0)) return 0;
    return static_cast<int64_t>(std::min(rounds, kMaxScatterCount));
}

// Rounds more than one cycle before the last only repeat copies that a later
// round makes again from the same random state, so dropping whole cycles
// gives the same picture and keeps huge weights from running for ever.
int64_t dropWholeCycles(int64_t rounds, int64_t cycle) {
    if (rounds < 2 * cycle) return rounds;
    return cycle + rounds % cycle;
}

} // namespace

void addLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return clampedStore(static_cast<double>(s1) * weightA + static_cast<double>(s2) * weightB);
    });
}

void mulLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    const auto f = static_cast<float>(static_cast<double>(weightA) * weightB * (1.0 / kMaxChannel));
    combine(srcA, srcB, dst,
            [=](uint8_t s1, uint8_t s2) { return clampedStore(static_cast<double>(s1 * s2) * f); });
}

void randCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    std::memset(layerData[kScratchLayer], kMidGrey, static_cast<size_t>(layerByteCount()));
    const auto spreadA = static_cast<float>(weightA * kScatterSpread);
    const auto spreadB = static_cast<float>(weightB * kScatterSpread);
    randomSeed = kScatterSeed;
    int64_t countA = scatterRounds(spreadA);
    int64_t countB = scatterRounds(spreadB);
    const int64_t paired =
        dropWholeCycles(std::min(countA, countB), kScatterCycleDraws / kDrawsPerPairedRound);
    const int64_t single = dropWholeCycles(std::max(countA, countB) - std::min(countA, countB),
                                           kScatterCycleDraws / kDrawsPerSingleRound);
    const bool aLonger = countA > countB;
    countA = paired + (aLonger ? single : 0);
    countB = paired + (aLonger ? 0 : single);

    for (int64_t j = 0, i = 0; j < countA || i < countB;) {
        // Draws are taken one statement at a time: their order is the pattern.
        if (j < countA) {
            const uint32_t r1 = nextRandom();
            const uint32_t r2 = nextRandom();
            scatterPixel(srcA, r1 >> 1, r2);
            const uint32_t r3 = nextRandom();
            const uint32_t r4 = nextRandom();
            scatterPixel(srcA, r3, r4 >> 2);
            ++j;
        }
        if (i < countB) {
            const uint32_t r1 = nextRandom();
            const uint32_t r2 = nextRandom();
            scatterPixel(srcB, r2, r1 >> 1);
            const uint32_t r3 = nextRandom();
            const uint32_t r4 = nextRandom();
            scatterPixel(srcB, r4 >> 2, r3);
            ++i;
        }
    }
    copyLayer(kScratchLayer, dst);
}

void minCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    // Equal weighted values keep B; the unweighted byte is copied.
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return static_cast<double>(s2) * weightB > static_cast<double>(s1) * weightA ? s1 : s2;
    });
}

void maxCombineLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return static_cast<double>(s1) * weightA > static_cast<double>(s2) * weightB ? s1 : s2;
    });
}

// The bitwise combiners do not clamp: a weighted 300 contributes 300 & 255.
void xorLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return static_cast<uint8_t>(weighted(s1, weightA) ^ weighted(s2, weightB));
    });
}

void orLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return static_cast<uint8_t>(weighted(s1, weightA) | weighted(s2, weightB));
    });
}

void andLayers(int srcA, int srcB, int dst, float weightA, float weightB) {
    combine(srcA, srcB, dst, [=](uint8_t s1, uint8_t s2) {
        return static_cast<uint8_t>(weighted(s1, weightA) & weighted(s2, weightB));
    });
}

} // namespace texgen
