#include "effects/particles.h"

ParticleResult createParticleSystem(int32_t count) {
    if (count > kMaxParticles) return {nullptr, kParticleModule, kTooManyParticles};
    auto system = std::make_unique<ParticleSystem>();
    system->count = count;
    return {std::move(system), "", ""};
}
