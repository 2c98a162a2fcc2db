#include "show/show_state.h"

#include "images/picture_size.h"

Settings settings;
int32_t playTime = 0;
std::array<float, kSpectrumSize> spectrum{};
std::array<std::unique_ptr<Texture>, kTextureCount> textures;
std::unique_ptr<ParticleSystem> particleSystem;
Camera camera;

bool parseScreenSize(const std::string& text, int32_t& width, int32_t& height) {
    return parsePictureSize(text, width, height) && width >= 1 && width <= kMaxScreenSide &&
           height >= 1 && height <= kMaxScreenSide;
}
