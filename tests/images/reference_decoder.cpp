#include "images/reference_decoder.h"

#include <cmath>
#include <cstring>

namespace reference {
namespace {

const double g = 0.7071067811865476;

uint32_t u32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

void expand(std::vector<int32_t>& plane, const std::vector<uint8_t>& sym,
            const std::vector<uint8_t>& val, int n, int b) {
    size_t i = 0, k = 0;
    int j = 0;
    while (j < n && i < sym.size()) {
        int s = sym[i++];
        if (s == 0) {
            plane[j++] = 0;
            continue;
        }
        if (k >= val.size() || (s == 1 && i >= sym.size())) break;
        if (s == 2 || s == 3) {
            plane[j++] = s == 2 ? val[k] : -int32_t(val[k]);
            k++;
            continue;
        }
        int r = sym[i++] * (1 << b) + val[k++];
        for (int z = 0; z <= r && j + z < n; z++) plane[j + z] = 0;
        j += r + 1;
    }
}

void dequantise(const std::vector<int32_t>& in, std::vector<double>& out, int W, int H, int L,
                const double* table) {
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            int l = 0; // the level whose detail bands hold (x, y); L + 1: the approximation
            while (l <= L && x < (W >> (l + 1)) && y < (H >> (l + 1))) l++;
            out[y * W + x] = in[y * W + x] * (table[l] == 0 ? 0 : 1 / table[l]);
        }
}

// The pair rule for one line; get(k) / put(i, v) address the line.
template <typename Low, typename High, typename Put> void pairs(int n, Low L, High Hh, Put put) {
    for (int k = 0; k < n; k++) {
        if (k == 0 || k == n - 1 || Hh(k) != 0) {
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
    std::vector<double> V(S.size());
    int hh = h / 2, hw = w / 2;
    for (int x = 0; x < w; x++)
        pairs(
            hh, [&](int k) { return S[k * W + x]; }, [&](int k) { return S[(hh + k) * W + x]; },
            [&](int i, double v) { V[i * W + x] = v; });
    for (int y = 0; y < h; y++)
        pairs(
            hw, [&](int k) { return V[y * W + k]; }, [&](int k) { return V[y * W + hw + k]; },
            [&](int i, double v) { D[y * W + i] = v; });
}

uint8_t toByte(double x) {
    if (!(x > 0)) return 0; // NaN too
    if (x >= 255) return 255;
    return uint8_t(std::nearbyint(x));
}

} // namespace

bool decode(const std::vector<uint8_t>& file, std::vector<uint8_t>& pixels) {
    if (file.size() < 36) return false;
    const uint8_t* p = file.data();
    int W = p[3] | p[4] << 8, H = p[5] | p[6] << 8, L = p[8], n = W * H;
    int planes = p[7] == 8 ? 1 : 3;
    size_t pos = 36;
    double tables[3][18] = {};
    for (int i = 0; i < planes; i++) {
        if (pos + (L + 2) * 8 > file.size()) return false;
        std::memcpy(tables[i], p + pos, (L + 2) * 8);
        pos += (L + 2) * 8;
    }
    std::vector<double> real[3];
    for (int pl = 0; pl < planes; pl++) {
        std::vector<uint8_t> sym(u32(p + 9 + 4 * pl)), val(u32(p + 21 + 4 * pl));
        size_t symBytes = (sym.size() + 3) / 4;
        if (pos + symBytes > file.size()) return false;
        for (size_t i = 0; i < sym.size(); i++) sym[i] = (p[pos + i / 4] >> (2 * (i % 4))) & 3;
        pos += symBytes;
        int b = p[33 + pl];
        size_t valBytes = (b * val.size() + 7) / 8;
        if (pos + valBytes > file.size()) return false;
        for (size_t i = 0; i < val.size(); i++)
            for (int k = 0; k < b; k++) {
                size_t at = i * b + k;
                val[i] |= ((p[pos + at / 8] >> (at % 8)) & 1) << k;
            }
        pos += valBytes;
        std::vector<int32_t> ints(n, 0);
        expand(ints, sym, val, n, b);
        real[pl].assign(n, 0);
        dequantise(ints, real[pl], W, H, L, tables[pl]);
    }
    std::vector<double> Y(n), U(n), V(n);
    inverseHaar(real[0], Y, W, H, W, L);
    if (planes == 1) {
        pixels.resize(n);
        for (int i = 0; i < n; i++) pixels[i] = toByte(Y[i]);
        return true;
    }
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
