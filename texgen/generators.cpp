// Generator operators: each fills one whole layer from its parameters.
//
// Arithmetic: a value the generator keeps as a float is rounded to single
// precision where it is stored; the expressions in between are evaluated in
// double, which holds every product of two floats exactly. Loops run rows top
// to bottom and pixels left to right, which fixes the order of random draws.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "texgen/helpers.h"
#include "texgen/layers.h"
#include "texgen/operators.h"

namespace texgen {

namespace {

constexpr int32_t kMaxChannel = 255;
constexpr uint8_t kWhite = 255;
constexpr int kLevelShift = 8;        // amplitude * persistence / 256
constexpr int kBlobPositionShift = 8; // draw * size / 256 spreads a draw over the layer
constexpr int32_t kMaxBlobs = 16;
constexpr double kBlobStrengthBase = 0.1;
constexpr double kBlobStrengthScale = 150.0; // strengths span 15..165
constexpr double kBlobCubic = -4.0 / 9.0;    // field f(h) = -4/9 h^3 + 17/9 h^2 - 22/9 h + 1
constexpr double kBlobSquare = 17.0 / 9.0;
constexpr double kBlobLinear = 22.0 / 9.0;
constexpr int kMandelbrotMaxCount = 255;
constexpr double kSineAmplitudeScale = 1.0 / 256.0;
constexpr double kSineSwing = 63.5;
constexpr double kSineMiddle = 127.0;
constexpr double kParticleScale = 180.0;
constexpr int kCellBirthShift = 10; // a draw below 1024 (one in 64) seeds a live cell

void clearLayer(int layer) {
    std::memset(layerData[layer], 0, static_cast<size_t>(layerByteCount()));
}

Rgb readPixel(int layer, int32_t x, int32_t y) {
    const uint8_t* p = pixelAt(layer, x, y);
    return Rgb{p[0], p[1], p[2]};
}

void writePixel(int layer, int32_t x, int32_t y, Rgb c) {
    uint8_t* p = pixelAt(layer, x, y);
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
}

void writeGrey(int layer, int32_t x, int32_t y, uint8_t value) {
    writePixel(layer, x, y, Rgb{value, value, value});
}

// Low byte of a value truncated toward zero; NaN and out-of-range values
// convert to INT32_MIN, whose low byte is 0.
uint8_t lowByte(double v) {
    return static_cast<uint8_t>(truncToInt32(v));
}

// Cosine-interpolates every step x step cell of the grid laid down by
// subPlasma. A cell's corners are read before the cell is written, and the
// corner pixel itself blends to its own value, so the layer is its own source.
void interpolateGrid(int dst, int64_t step) {
    const float inv = 1.0f / static_cast<float>(step);
    const auto weightAt = [inv](int64_t i) {
        return cosineWeight(static_cast<float>(static_cast<double>(i) * inv));
    };
    const auto readCorners = [dst, step](int64_t x, int64_t y, Rgb corners[4]) {
        corners[0] = readPixel(dst, static_cast<int32_t>(x), static_cast<int32_t>(y));
        corners[1] =
            readPixel(dst, static_cast<int32_t>((x + step) & wrapMaskX), static_cast<int32_t>(y));
        corners[2] =
            readPixel(dst, static_cast<int32_t>(x), static_cast<int32_t>((y + step) & wrapMaskY));
        corners[3] = readPixel(dst, static_cast<int32_t>((x + step) & wrapMaskX),
                               static_cast<int32_t>((y + step) & wrapMaskY));
    };
    // The weights depend only on the position in the cell. Validated steps
    // are at most the largest layer size.
    static float columnWeight[kMaxLayerSize];
    static PreparedWeights rowWeights[kMaxLayerSize];
    if (step <= layerWidth && step <= layerHeight && layerWidth % step == 0 &&
        layerHeight % step == 0) {
        // The cells tile the layer: each pixel is written once, from grid
        // values that no cell changes, so the cells can be written a row of
        // cells at a time, with the weights of a row prepared once.
        for (int64_t i = 0; i < step; ++i) columnWeight[i] = weightAt(i);
        for (int64_t y = 0; y < layerHeight; y += step) {
            for (int64_t j = 0; j < step; ++j) {
                const float fy = weightAt(j);
                for (int64_t i = 0; i < step; ++i)
                    rowWeights[i] = prepareWeights(blendWeights(columnWeight[i], fy));
                uint8_t* row = pixelAt(dst, 0, static_cast<int32_t>(y + j));
                for (int64_t x = 0; x < layerWidth; x += step) {
                    Rgb c[4];
                    readCorners(x, y, c);
                    for (int64_t i = 0; i < step; ++i) {
                        const Rgb p = blendPrepared(rowWeights[i], c[0], c[1], c[2], c[3]);
                        uint8_t* out = row + (x + i) * kBytesPerPixel;
                        out[0] = p.r;
                        out[1] = p.g;
                        out[2] = p.b;
                    }
                }
            }
        }
        return;
    }
    // Otherwise cells overlap where they wrap, and later cells read corners
    // that earlier ones wrote: cell by cell, in order. A step beyond the
    // layer size makes a cell wrap onto itself; only the last write to each
    // pixel survives, so the earlier rows and columns of the cell can be
    // skipped without changing the result.
    const int64_t firstRow = std::max<int64_t>(0, step - layerHeight);
    const int64_t firstColumn = std::max<int64_t>(0, step - layerWidth);
    const bool tabled = step <= kMaxLayerSize;
    if (tabled) {
        for (int64_t i = firstColumn; i < step; ++i) columnWeight[i] = weightAt(i);
    }
    for (int64_t y = 0; y < layerHeight; y += step) {
        for (int64_t x = 0; x < layerWidth; x += step) {
            Rgb c[4];
            readCorners(x, y, c);
            for (int64_t j = firstRow; j < step; ++j) {
                const float fy = weightAt(j);
                const auto py = static_cast<int32_t>((y + j) & wrapMaskY);
                for (int64_t i = firstColumn; i < step; ++i) {
                    const float fx = tabled ? columnWeight[i] : weightAt(i);
                    const auto px = static_cast<int32_t>((x + i) & wrapMaskX);
                    writePixel(dst, px, py,
                               blendPrepared(prepareWeights(blendWeights(fx, fy)), c[0], c[1], c[2],
                                             c[3]));
                }
            }
        }
    }
}

// One draw: its low byte sets a blob's strength in one channel.
float drawBlobStrength() {
    const uint32_t byte = nextRandom() & static_cast<uint32_t>(kMaxChannel);
    return static_cast<float>((byte * (1.0 / kMaxChannel) + kBlobStrengthBase) *
                              kBlobStrengthScale);
}

// Channel sum of the blob field: negative sums are black, large ones white.
uint8_t blobChannel(float sum) {
    if (sum <= 0.0f) return 0;
    if (sum < static_cast<float>(kMaxChannel)) return lowByte(sum);
    return kWhite;
}

// Several pixels of a row iterate side by side, one per lane, in groups of
// two: every lane does the same IEEE operations as a pixel on its own, in
// double lanes that hold single-precision values. A product of two floats is
// exact in double, so rounding it to single is the single-precision product.
// The iteration is a long chain of dependent operations; independent groups
// keep the processor busy while one waits.
constexpr int kMandelbrotLanes = 2;
constexpr int kMandelbrotGroups = 4;
constexpr int kMandelbrotPixels = kMandelbrotLanes * kMandelbrotGroups;
using DoubleLanes = double __attribute__((vector_size(kMandelbrotLanes * sizeof(double))));
using FloatLanes = float __attribute__((vector_size(kMandelbrotLanes * sizeof(float))));
using MaskLanes = int64_t __attribute__((vector_size(kMandelbrotLanes * sizeof(int64_t))));

DoubleLanes roundToSingle(DoubleLanes v) {
    return __builtin_convertvector(__builtin_convertvector(v, FloatLanes), DoubleLanes);
}

// Escape counts of the points (cx[i], cy): the iteration count at which
// zr^2 + zi^2 first exceeds the limit, or 255 if it never does.
void mandelbrotCounts(const float* cx, double cy, double escapeLimit,
                      int64_t (&counts)[kMandelbrotPixels]) {
    DoubleLanes zr[kMandelbrotGroups];
    DoubleLanes zi[kMandelbrotGroups];
    DoubleLanes c[kMandelbrotGroups];
    MaskLanes found[kMandelbrotGroups];
    MaskLanes running[kMandelbrotGroups];
    for (int g = 0; g < kMandelbrotGroups; ++g) {
        for (int i = 0; i < kMandelbrotLanes; ++i) c[g][i] = cx[g * kMandelbrotLanes + i];
        zr[g] = c[g];
        zi[g] = DoubleLanes{} + cy;
        found[g] = MaskLanes{} + kMandelbrotMaxCount;
        running[g] = MaskLanes{} - 1;
    }
    for (int64_t count = 0; count <= kMandelbrotMaxCount; ++count) {
        MaskLanes anyRunning{};
        for (int g = 0; g < kMandelbrotGroups; ++g) {
            const DoubleLanes zr2 = roundToSingle(zr[g] * zr[g]);
            const DoubleLanes zi2 = roundToSingle(zi[g] * zi[g]);
            const MaskLanes escaped = (zr2 + zi2 > escapeLimit) & running[g];
            found[g] = escaped ? count : found[g];
            running[g] &= ~escaped;
            anyRunning |= running[g];
            zi[g] = roundToSingle(2.0 * zr[g] * zi[g] + cy);
            zr[g] = roundToSingle(zr2 - zi2 + c[g]);
        }
        bool any = false;
        for (int i = 0; i < kMandelbrotLanes; ++i) any |= anyRunning[i] != 0;
        if (!any) break;
    }
    for (int g = 0; g < kMandelbrotGroups; ++g)
        for (int i = 0; i < kMandelbrotLanes; ++i) counts[g * kMandelbrotLanes + i] = found[g][i];
}

} // namespace

void subPlasma(int dst, int32_t step, int32_t seed, int32_t levels, bool colour) {
    clearLayer(dst);
    if (seed != 0) randomSeed = static_cast<uint32_t>(seed);
    // levels - 1 is a bit mask: a power of two gives the range 0..levels-1.
    const uint32_t mask = static_cast<uint32_t>(levels) - 1u;
    for (int64_t y = 0; y < layerHeight; y += step) {
        for (int64_t x = 0; x < layerWidth; x += step) {
            Rgb c;
            c.r = static_cast<uint8_t>(nextRandom() & mask);
            if (colour) {
                c.g = static_cast<uint8_t>(nextRandom() & mask);
                c.b = static_cast<uint8_t>(nextRandom() & mask);
            } else {
                c.g = c.b = c.r;
            }
            writePixel(dst, static_cast<int32_t>(x), static_cast<int32_t>(y), c);
        }
    }
    // With one level every grid value is 0, and blending zeros gives zeros.
    if (step > 1 && mask != 0) interpolateGrid(dst, step);
}

void sinePlasma(int dst, float xFrequency, float yFrequency, float amplitude) {
    const auto a = static_cast<float>(amplitude * kSineAmplitudeScale);
    for (int32_t y = 0; y < layerHeight; ++y) {
        const auto rowTerm = static_cast<float>(
            std::sin(static_cast<double>(y) * yFrequency) * kSineSwing + kSineMiddle);
        for (int32_t x = 0; x < layerWidth; ++x) {
            const double value =
                (std::sin(static_cast<double>(x) * xFrequency) * kSineSwing + rowTerm) * a;
            writeGrey(dst, x, y, lowByte(value));
        }
    }
}

void perlinNoise(int dst, int32_t step, int32_t seed, int32_t amplitude, int32_t persistence,
                 int32_t octaves, bool colour) {
    // Levels 1 masks every draw to 0: dst turns black, but the random state is
    // seeded and advanced exactly as the first octave would draw.
    subPlasma(dst, step, seed, 1, colour);
    auto level = static_cast<uint32_t>(amplitude);
    auto octaveStep = static_cast<uint32_t>(step);
    // Each octave halves the step, so this ends within 32 rounds.
    for (int32_t octave = 1; octave < octaves; ++octave) {
        level = (level * static_cast<uint32_t>(persistence)) >> kLevelShift;
        if (level == 0) break;
        octaveStep >>= 1;
        if (octaveStep == 0) break;
        subPlasma(kScratchLayer, static_cast<int32_t>(octaveStep), 0, static_cast<int32_t>(level),
                  colour);
        uint8_t* out = layerData[dst];
        const uint8_t* add = layerData[kScratchLayer];
        const int64_t bytes = layerByteCount();
        for (int64_t n = 0; n < bytes; ++n) {
            out[n] = static_cast<uint8_t>(std::min(kMaxChannel, out[n] + add[n]));
        }
    }
}

void particle(int dst, float falloff) {
    const auto k = static_cast<float>(falloff * kParticleScale);
    const int32_t hx = layerWidth / 2;
    const int32_t hy = layerHeight / 2;
    const float sx = 1.0f / static_cast<float>(hx);
    const float sy = 1.0f / static_cast<float>(hy);
    for (int32_t y = 0; y < layerHeight; ++y) {
        const auto ny = static_cast<float>(static_cast<double>(y - hy) * sy);
        for (int32_t x = 0; x < layerWidth; ++x) {
            const auto nx = static_cast<float>(static_cast<double>(x - hx) * sx);
            const float d = fastSqrt(
                static_cast<float>(static_cast<double>(nx) * nx + static_cast<double>(ny) * ny));
            const auto value = static_cast<float>(kMaxChannel - static_cast<double>(d) * k);
            uint8_t grey = kWhite;
            if (value < 0.0f) {
                grey = 0;
            } else if (!(value > static_cast<float>(kMaxChannel))) {
                grey = lowByte(value);
            }
            writeGrey(dst, x, y, grey);
        }
    }
}

void colorLayer(int dst, int32_t red, int32_t green, int32_t blue) {
    const Rgb c{static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)};
    for (int32_t y = 0; y < layerHeight; ++y)
        for (int32_t x = 0; x < layerWidth; ++x) writePixel(dst, x, y, c);
}

void checkerBoardLayer(int dst, int32_t cellWidth, int32_t cellHeight, int32_t red1, int32_t green1,
                       int32_t blue1, int32_t red2, int32_t green2, int32_t blue2) {
    Rgb a{static_cast<uint8_t>(red1), static_cast<uint8_t>(green1), static_cast<uint8_t>(blue1)};
    Rgb b{static_cast<uint8_t>(red2), static_cast<uint8_t>(green2), static_cast<uint8_t>(blue2)};
    // An even number of whole cells plus a partial one would leave the next
    // row starting on the wrong colour; one extra swap per row puts it back.
    const bool rowEndSwap = (layerWidth / cellWidth) % 2 == 0 && layerWidth % cellWidth != 0;
    Rgb current = a;
    for (int32_t y = 0; y < layerHeight; ++y) {
        if (y % cellHeight == 0) std::swap(a, b);
        for (int32_t x = 0; x < layerWidth; ++x) {
            if (x % cellWidth == 0) {
                current = a;
                std::swap(a, b);
            }
            writePixel(dst, x, y, current);
        }
        if (rowEndSwap) std::swap(a, b);
    }
}

void blobsLayer(int dst, int32_t seed, int32_t count, bool colour) {
    struct Blob {
        int32_t x, y;
        float strength[kBytesPerPixel];
    };
    randomSeed = static_cast<uint32_t>(seed);
    const int32_t blobCount = std::clamp(count, 0, kMaxBlobs);
    const int channels = colour ? kBytesPerPixel : 1;
    Blob blobs[kMaxBlobs];
    for (int32_t i = 0; i < blobCount; ++i) {
        Blob& blob = blobs[i];
        blob.x = static_cast<int32_t>(
            ((nextRandom() * static_cast<uint32_t>(layerWidth)) >> kBlobPositionShift) &
            static_cast<uint32_t>(wrapMaskX));
        blob.y = static_cast<int32_t>(
            ((nextRandom() * static_cast<uint32_t>(layerHeight)) >> kBlobPositionShift) &
            static_cast<uint32_t>(wrapMaskY));
        for (int c = 0; c < channels; ++c) blob.strength[c] = drawBlobStrength();
    }
    // Field radius R with R^2 = W*H/3.
    const auto inv =
        static_cast<float>(1.0 / (static_cast<double>(layerWidth) * layerHeight * (1.0 / 3.0)));
    // A row at a time, one blob after another: each pixel still adds the
    // blobs in order, and the loops over the row run in vector lanes.
    // Coordinates are below 2^12, so the squared distance fits 32 bits.
    static float rowSum[kBytesPerPixel][kMaxLayerSize];
    static float field[kMaxLayerSize];
    for (int32_t y = 0; y < layerHeight; ++y) {
        for (int c = 0; c < channels; ++c) std::fill_n(rowSum[c], layerWidth, 0.0f);
        for (int32_t i = 0; i < blobCount; ++i) {
            const int32_t dy = blobs[i].y - y;
            const int32_t dy2 = dy * dy;
            const int32_t bx = blobs[i].x;
            for (int32_t x = 0; x < layerWidth; ++x) {
                const int32_t dx = bx - x;
                const auto h = static_cast<float>(static_cast<double>(dx * dx + dy2) * inv);
                const auto h2 = static_cast<float>(static_cast<double>(h) * h);
                // Not cut off at h = 1: distant blobs subtract a little.
                field[x] = static_cast<float>(static_cast<double>(h2) * kBlobCubic * h +
                                              h2 * kBlobSquare - h * kBlobLinear + 1.0);
            }
            for (int c = 0; c < channels; ++c) {
                const float strength = blobs[i].strength[c];
                float* sum = rowSum[c];
                for (int32_t x = 0; x < layerWidth; ++x)
                    sum[x] = static_cast<float>(sum[x] + static_cast<double>(field[x]) * strength);
            }
        }
        for (int32_t x = 0; x < layerWidth; ++x) {
            Rgb out;
            out.r = blobChannel(rowSum[0][x]);
            out.g = colour ? blobChannel(rowSum[1][x]) : out.r;
            out.b = colour ? blobChannel(rowSum[2][x]) : out.r;
            writePixel(dst, x, y, out);
        }
    }
}

void mandelBrot(int dst, float left, float width, float top, float height, float escapeLimit) {
    const auto dx = static_cast<float>(static_cast<double>(width) / layerWidth);
    const auto dy = static_cast<float>(static_cast<double>(height) / layerHeight);
    // The row positions accumulate step by step, as they always have.
    // A row narrower than the lanes repeats its last point in the rest.
    static float rowX[kMaxLayerSize + kMandelbrotPixels];
    float cx = left;
    for (int32_t x = 0; x < layerWidth; ++x) {
        rowX[x] = cx;
        cx = static_cast<float>(static_cast<double>(cx) + dx);
    }
    for (int32_t x = layerWidth; x < layerWidth + kMandelbrotPixels; ++x)
        rowX[x] = rowX[layerWidth - 1];
    float cy = top;
    for (int32_t y = 0; y < layerHeight; ++y) {
        uint8_t* out = pixelAt(dst, 0, y);
        for (int32_t x = 0; x < layerWidth; x += kMandelbrotPixels) {
            int64_t counts[kMandelbrotPixels];
            mandelbrotCounts(rowX + x, cy, escapeLimit, counts);
            for (int i = 0; i < kMandelbrotPixels && x + i < layerWidth; ++i) {
                const auto n = static_cast<int>(counts[i]);
                uint8_t* p = out + static_cast<int64_t>(x + i) * kBytesPerPixel;
                p[0] = static_cast<uint8_t>(n);
                p[1] = p[2] = static_cast<uint8_t>(kMaxChannel - n);
            }
        }
        cy = static_cast<float>(static_cast<double>(cy) + dy);
    }
}

void cellMachine(int dst, int32_t seed, int32_t rule) {
    randomSeed = static_cast<uint32_t>(seed);
    clearLayer(dst);
    for (int32_t x = 0; x < layerWidth; ++x) {
        if ((nextRandom() >> kCellBirthShift) == 0) writeGrey(dst, x, 0, kWhite);
    }
    const auto rules = static_cast<uint32_t>(rule);
    for (int32_t y = 1; y < layerHeight; ++y) {
        for (int32_t x = 0; x < layerWidth; ++x) {
            // Left neighbour is bit 0, right neighbour bit 2.
            const bool left = pixelAt(dst, (x - 1) & wrapMaskX, y - 1)[0] != 0;
            const bool centre = pixelAt(dst, x, y - 1)[0] != 0;
            const bool right = pixelAt(dst, (x + 1) & wrapMaskX, y - 1)[0] != 0;
            const int n = (left ? 1 : 0) + (centre ? 2 : 0) + (right ? 4 : 0);
            if ((rules >> n) & 1u) writeGrey(dst, x, y, kWhite);
        }
    }
}

} // namespace texgen
