#include "images/reference_decoder.h"

#include <cmath>
#include <cstring>

namespace reference {
namespace {

const double g = 0.7071067811865476;

struct Header {
    int width, height, bpp, levels;
    uint32_t symbols[3], values[3];
    int bits[3];
};

uint32_t u32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

void expand(std::vector<int32_t>& plane, const std::vector<uint8_t>& sym,
            const std::vector<uint8_t>& val, int n, int b) {
    size_t i = 0, k = 0;
    int j = 0;
    while (j < n && i < sym.size()) {
        int s = sym[i];
        if (s == 0) {
            plane[j] = 0;
            i++;
            j++;
        } else if (s == 1) {
            if (k >= val.size() || i + 1 >= sym.size()) break;
            int high = sym[i + 1];
            int r = high * (1 << b) + val[k];
            for (int z = 0; z <= r && j + z < n; z++) plane[j + z] = 0;
            j += r + 1;
            i += 2;
            k++;
        } else {
            if (k >= val.size()) break;
            plane[j] = s == 2 ? val[k] : -int32_t(val[k]);
            k++;
            i++;
            j++;
        }
    }
}

void dequantise(const std::vector<int32_t>& in, std::vector<double>& out, int W, int H, int L,
                const double* table) {
    for (int l = 0; l <= L; l++) {
        double f = table[l] == 0 ? 0 : 1 / table[l];
        for (int y = 0; y < (H >> l); y++) {
            int x0 = y < (H >> (l + 1)) ? (W >> (l + 1)) : 0;
            for (int x = x0; x < (W >> l); x++) out[y * W + x] = in[y * W + x] * f;
        }
    }
    double f = table[L + 1] == 0 ? 0 : 1 / table[L + 1];
    for (int y = 0; y < (H >> (L + 1)); y++)
        for (int x = 0; x < (W >> (L + 1)); x++) out[y * W + x] = in[y * W + x] * f;
}

// The pair rule for one line; get(k) / put(i, v) address the line.
template <typename Low, typename High, typename Put> void pairs(int n, Low L, High Hh, Put put) {
    for (int k = 0; k < n; k++) {
        if (k == 0 || k == n - 1) {
            put(2 * k, g * (L(k) + Hh(k)));
            put(2 * k + 1, g * (L(k) - Hh(k)));
            continue;
        }
        if (Hh(k) != 0) {
            put(2 * k, g * (L(k) + Hh(k)));
            put(2 * k + 1, g * (L(k) - Hh(k)));
            continue;
        }
        if (Hh(k - 1) == 0 && L(k + 1) != L(k) && (k == n - 2 || L(k + 2) != L(k + 1)))
            put(2 * k, g * (0.8 * L(k) + 0.2 * L(k - 1)));
        else
            put(2 * k, g * L(k));
        if (Hh(k + 1) == 0 && L(k - 1) != L(k) && (k == 1 || L(k - 2) != L(k - 1)))
            put(2 * k + 1, g * (0.8 * L(k) + 0.2 * L(k + 1)));
        else
            put(2 * k + 1, g * L(k));
    }
}

void inverseHaar(std::vector<double>& S, std::vector<double>& D, int w, int h, int W, int levels) {
    if (levels > 0) inverseHaar(S, S, w / 2, h / 2, W, levels - 1);
    std::vector<double> V(S.size()), T(S.size());
    int hh = h / 2, hw = w / 2;
    for (int x = 0; x < w; x++)
        pairs(
            hh, [&](int k) { return S[k * W + x]; }, [&](int k) { return S[(hh + k) * W + x]; },
            [&](int i, double v) { V[i * W + x] = v; });
    for (int y = 0; y < h; y++)
        pairs(
            hw, [&](int k) { return V[y * W + k]; }, [&](int k) { return V[y * W + hw + k]; },
            [&](int i, double v) { T[y * W + i] = v; });
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) D[y * W + x] = T[y * W + x];
}

uint8_t toByte(double x) {
    if (x <= 0) return 0;
    if (x >= 255) return 255;
    if (std::isnan(x)) return 0;
    return uint8_t(std::nearbyint(x));
}

} // namespace

bool decode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels) {
    if (file.size() < 36) return false;
    const uint8_t* p = file.data();
    Header h{};
    h.width = p[3] | p[4] << 8;
    h.height = p[5] | p[6] << 8;
    h.bpp = p[7];
    h.levels = p[8];
    for (int i = 0; i < 3; i++) {
        h.symbols[i] = u32(p + 9 + 4 * i);
        h.values[i] = u32(p + 21 + 4 * i);
        h.bits[i] = p[33 + i];
    }
    int planes = h.bpp == 8 ? 1 : 3;
    int W = h.width, H = h.height, L = h.levels, n = W * H;
    size_t pos = 36;
    double tables[3][18] = {};
    for (int i = 0; i < planes; i++) {
        if (pos + (L + 2) * 8 > file.size()) return false;
        std::memcpy(tables[i], p + pos, (L + 2) * 8);
        pos += (L + 2) * 8;
    }
    std::vector<double> real[3];
    for (int pl = 0; pl < planes; pl++) {
        std::vector<uint8_t> sym(h.symbols[pl]), val(h.values[pl]);
        size_t symBytes = (h.symbols[pl] + 3) / 4;
        if (pos + symBytes > file.size()) return false;
        for (size_t i = 0; i < sym.size(); i++) sym[i] = (p[pos + i / 4] >> (2 * (i % 4))) & 3;
        pos += symBytes;
        int b = h.bits[pl];
        size_t valBytes = b == 8 ? h.values[pl] : (size_t(b) * h.values[pl] + 7) / 8;
        if (pos + valBytes > file.size()) return false;
        for (size_t i = 0; i < val.size(); i++) {
            if (b == 8) {
                val[i] = p[pos + i];
                continue;
            }
            size_t bit = i * b;
            unsigned v = 0;
            for (int k = 0; k < b; k++) {
                size_t at = bit + k;
                v |= ((p[pos + at / 8] >> (at % 8)) & 1) << k;
            }
            val[i] = uint8_t(v);
        }
        pos += valBytes;
        std::vector<int32_t> ints(n, 0);
        expand(ints, sym, val, n, b);
        real[pl].assign(n, 0);
        dequantise(ints, real[pl], W, H, L, tables[pl]);
    }
    if (planes == 1) {
        std::vector<double> out(n);
        inverseHaar(real[0], out, W, H, W, L);
        pixels.resize(n);
        for (int i = 0; i < n; i++) pixels[i] = toByte(out[i]);
        return true;
    }
    std::vector<double> Y(n), U(n), V(n);
    inverseHaar(real[0], Y, W, H, W, L);
    inverseHaar(real[1], U, W, H, W, L);
    inverseHaar(real[2], V, W, H, W, L);
    pixels.resize(4 * size_t(n));
    for (int i = 0; i < n; i++) {
        double R = Y[i] + 1.140251 * V[i];
        double B = Y[i] + 2.028398 * U[i];
        double G = (Y[i] - 0.3 * R - 0.11 * B) * 1.694915;
        pixels[4 * i] = toByte(B);
        pixels[4 * i + 1] = toByte(G);
        pixels[4 * i + 2] = toByte(R);
        pixels[4 * i + 3] = 0;
    }
    return true;
}

} // namespace reference
