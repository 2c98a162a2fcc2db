#include <gtest/gtest.h>

#include <cstring>

#include "effects/particles.h"

TEST(ParticleSystem, CapacityIsFiveThousandRecordsPlusOne) {
    ParticleResult most = createParticleSystem(5000);
    ASSERT_TRUE(most.ok());
    EXPECT_EQ(most.system->count, 5000);
    EXPECT_EQ(most.system->particles.size(), 5001u);

    const ParticleResult tooMany = createParticleSystem(5001);
    EXPECT_FALSE(tooMany.ok());
    EXPECT_EQ(tooMany.module, "kglParticle");
    EXPECT_EQ(tooMany.message, "Too many Particles initialized");

    for (int32_t count : {0, -1, -2147483647 - 1}) {
        const ParticleResult accepted = createParticleSystem(count);
        ASSERT_TRUE(accepted.ok()) << count;
        EXPECT_EQ(accepted.system->count, count);
    }
}

TEST(ParticleSystem, StartsZeroAndEveryRecordIsUsableWhateverTheCount) {
    ParticleResult result = createParticleSystem(100);
    ASSERT_TRUE(result.ok());
    ParticleSystem& system = *result.system;
    for (const Particle& p : system.particles) {
        float values[14];
        std::memcpy(values, &p, sizeof values);
        for (float value : values) ASSERT_EQ(value, 0.0f);
    }
    system.particles[5000].x = 1.5f;
    system.particles[5000].lean = -0.25f;
    system.particles[150].z = 3.0f;
    EXPECT_EQ(system.particles[5000].x, 1.5f);
    EXPECT_EQ(system.particles[5000].lean, -0.25f);
    EXPECT_EQ(system.particles[150].z, 3.0f);
    EXPECT_EQ(system.particles[4999].x, 0.0f);
}
