// The show's process-wide state: start-up settings, the clock, the spectrum
// copy and the long-lived engine objects the scenes draw with. The main
// program (or the capture tool) fills it during loading and releases it at
// teardown; nothing is created or freed while the show plays.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "effects/camera.h"
#include "effects/particles.h"
#include "images/texture.h"

// Start-up settings, edited by the configuration dialog.
struct Settings {
    int32_t screenWidth = 800;
    int32_t screenHeight = 600;
    int32_t colourDepth = 32; // 16 or 32
    bool fullScreen = true;
    bool music = true;
};

// "WxH" with both sides from 1 to kMaxScreenSide, as the tools and the live
// mode take a picture size on their command line.
constexpr int32_t kMaxScreenSide = 8192;
bool parseScreenSize(const std::string& text, int32_t& width, int32_t& height);

constexpr int kSpectrumSize = 512;
constexpr int kTextureCount = 20;

// Indices into `textures`, in loading order.
enum TextureIndex {
    kQuopple1,
    kVesk1,
    kOmbrit1,
    kQuopple2,
    kOmbrit2,
    kVesk2,
    kPeople1,
    kPeople2,
    kPeople3,
    kGrass,
    kLogo,
    kStandup,
    kSucks,
    kWhoops,
    kMove,
    kLove,
    kSeeYou,
    kSpeakers,
    kFloor,
    kBackground,
};

extern Settings settings;
extern int32_t playTime; // the show's clock, ms, stored once per frame
extern std::array<float, kSpectrumSize> spectrum;
extern std::array<std::unique_ptr<Texture>, kTextureCount> textures;
extern std::unique_ptr<ParticleSystem> particleSystem;
extern Camera camera;
