// The particle store: a fixed block of zeroed records, no behaviour of its
// own. The scenes keep grass positions in it.
//
//   ParticleResult result = createParticleSystem(100);
//   if (!result.ok()) fatalError(result.module, result.message);
//   result.system->particles[7].x = 1.5f; // any record 0 to 5000, whatever the count
//
// Destroyed with the unique_ptr.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

inline constexpr const char* kParticleModule = "kglParticle";
inline constexpr const char* kTooManyParticles = "Too many Particles initialized";
inline constexpr int32_t kParticleRecords = 5001; // numbered 0 to 5000
inline constexpr int32_t kMaxParticles = 5000;    // the most a system may ask for

// Fourteen values; the show gives meaning to four of them.
struct Particle {
    float x = 0;
    float y = 0;
    float z = 0;
    float spare4 = 0;
    float spare5 = 0;
    float lean = 0; // half the depth offset between a grass tuft's foot and top
    std::array<float, 8> spare7to14{};
};
static_assert(sizeof(Particle) == 14 * sizeof(float));

struct ParticleSystem {
    int32_t count = 0; // as asked for at creation; does not limit the records
    std::array<Particle, kParticleRecords> particles{};
};

struct ParticleResult {
    std::unique_ptr<ParticleSystem> system; // null on failure
    std::string module;                     // kParticleModule on failure
    std::string message;

    bool ok() const { return system != nullptr; }
};

// All records zero. A count above kMaxParticles is refused; any count up to
// it (0 and negative ones too) is stored as given.
ParticleResult createParticleSystem(int32_t count);
