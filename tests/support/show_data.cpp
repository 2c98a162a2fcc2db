#include "support/show_data.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <vector>

#include "images/hwl_encode.h"

namespace {

constexpr int kSize = 16;

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A gradient in a colour of its own, opaque in a centred square; with its
// alpha in an "_alpha" companion or none.
void writePicture(const std::string& dir, const std::string& name, int seed, bool withAlpha) {
    std::vector<uint8_t> rgba(kSize * kSize * 4);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            uint8_t* p = &rgba[(y * kSize + x) * 4];
            p[0] = uint8_t(x * 16 + seed * 20), p[1] = uint8_t(y * 16),
            p[2] = uint8_t(128 + seed * 7);
            p[3] = (x >= 4 && x < 12 && y >= 4 && y < 12) ? 255 : 0;
        }
    const hwl::PixelView view{rgba.data(), kSize, kSize, 4};
    hwl::HwlEncodeSettings settings;
    settings.levels = 1;
    hwl::HwlEncodeOutcome colour, alpha;
    if (withAlpha ? bool(hwl::encodeHwlWithAlpha(colour, alpha, view, settings))
                  : bool(hwl::encodeHwl(colour.bytes, view, settings)))
        std::abort();
    writeBytes(dir + "/data/" + name + ".hwl", colour.bytes);
    if (withAlpha) writeBytes(dir + "/data/" + name + "_alpha.hwl", alpha.bytes);
}

} // namespace

void makeShowDirectory(const std::string& dir, const std::string& script) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/data");
    int seed = 0;
    for (const char* name : {"quopple1", "vesk1", "ombrit1", "quopple2", "ombrit2", "vesk2", "ppl1",
                             "ppl2", "ppl3", "grass", "speakers"})
        writePicture(dir, name, seed++, true);
    for (const char* name : {"bplogo", "standup", "sucks", "whoops", "move", "love", "seeyou",
                             "background", "floor", "loading"})
        writePicture(dir, name, seed++, false);
    std::ofstream(dir + "/script.sqx", std::ios::binary) << script;
}

void writeTune(const std::string& path, double seconds) {
    constexpr uint32_t kRate = 44100;
    const auto frames = uint32_t(seconds * kRate);
    std::vector<int16_t> samples(frames);
    for (uint32_t i = 0; i < frames; ++i)
        samples[i] = int16_t(2000 * std::sin(2 * std::numbers::pi * 440 * i / kRate));
    const auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << u32(36 + frames * 2) << "WAVEfmt " << u32(16) << u16(1) << u16(1) << u32(kRate)
        << u32(kRate * 2) << u16(2) << u16(16) << "data" << u32(frames * 2);
    out.write(reinterpret_cast<const char*>(samples.data()), frames * 2);
}
