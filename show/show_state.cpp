#include "show/show_state.h"

#include <charconv>

Settings settings;
int32_t playTime = 0;
std::array<float, kSpectrumSize> spectrum{};
std::array<std::unique_ptr<Texture>, kTextureCount> textures;
std::unique_ptr<ParticleSystem> particleSystem;
Camera camera;

bool parseScreenSize(const std::string& text, int32_t& width, int32_t& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    const auto w = std::from_chars(begin, begin + x, width);
    const auto h = std::from_chars(begin + x + 1, end, height);
    return w.ec == std::errc() && w.ptr == begin + x && h.ec == std::errc() && h.ptr == end &&
           width >= 1 && width <= kMaxScreenSide && height >= 1 && height <= kMaxScreenSide;
}
