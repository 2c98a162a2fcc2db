#include <gtest/gtest.h>

#include "effects/particles.h"

// Up to 5000 particles, any count below (0 and negative too) stored as given;
// above that the show's own error. Records 0..5000 exist whatever the count.
TEST(ParticleSystem, CountsUpToFiveThousandAreStoredAndMoreRefused) {
    for (int32_t count : {5000, 100, 0, -1, -2147483647 - 1}) {
        const ParticleResult accepted = createParticleSystem(count);
        ASSERT_TRUE(accepted.ok()) << count;
        EXPECT_EQ(accepted.system->count, count);
        EXPECT_EQ(accepted.system->particles[5000].x, 0.0f);
    }
    const ParticleResult tooMany = createParticleSystem(5001);
    EXPECT_FALSE(tooMany.ok());
    EXPECT_EQ(tooMany.module, "kglParticle");
    EXPECT_EQ(tooMany.message, "Too many Particles initialized");
}
