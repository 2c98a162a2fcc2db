#include "show/show_state.h"

Settings settings;
int32_t playTime = 0;
std::array<float, kSpectrumSize> spectrum{};
std::array<std::unique_ptr<Texture>, kTextureCount> textures;
std::unique_ptr<ParticleSystem> particleSystem;
Camera camera;
