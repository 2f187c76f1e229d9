#include "synthesis/FastSynthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "synthesis/PolyphaseSynthesis.h"

namespace qw {
namespace {

// One slot of subband samples, exact in both precisions.  Some slots are
// loud enough to clip, some push the window sums far beyond 2^31.
std::vector<float> randomSlot(std::mt19937& rng, int slot) {
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    const float gain = slot % 11 == 4 ? 1e8f : slot % 5 == 2 ? 2.5f : 0.25f;
    std::vector<float> s(32);
    for (float& x : s) x = uniform(rng) * gain;
    return s;
}

TEST(FastSynthesis, MatchesQualityBankWithinOneLsb) {
    for (uint32_t channels : {2u, 1u}) {
        FastSynthesis fast;
        PolyphaseSynthesis quality;
        std::mt19937 rng(channels);
        int largest = 0, clipped = 0;
        for (int slot = 0; slot < 400; ++slot) {
            int16_t a[65], b[64];
            a[32 * channels] = 0x5A5A;
            for (uint32_t ch = 0; ch < channels; ++ch) {
                const std::vector<float> s = randomSlot(rng, slot);
                const std::vector<double> d(s.begin(), s.end());
                fast.synthesize(s.data(), a, ch, channels);
                quality.synthesize(d.data(), b, ch, channels);
            }
            ASSERT_EQ(a[32 * channels], 0x5A5A) << "wrote past its 32 samples per channel";
            for (uint32_t i = 0; i < 32 * channels; ++i) {
                largest = std::max(largest, std::abs(a[i] - b[i]));
                clipped += b[i] == 32767 || b[i] == -32768;
            }
        }
        EXPECT_LE(largest, 1) << channels << " channels";
        EXPECT_GT(clipped, 1000);  // the clipping paths were taken
    }
}

TEST(FastSynthesis, RoundsTiesToEvenAndClips) {
    for (auto round : {roundToPcmByBias, roundToPcm}) {
        EXPECT_EQ(round(2.5), 2);
        EXPECT_EQ(round(3.5), 4);
        EXPECT_EQ(round(-2.5), -2);
        EXPECT_EQ(round(-3.5), -4);
        EXPECT_EQ(round(32767.5), 32767);
        EXPECT_EQ(round(-32768.5), -32768);
        EXPECT_EQ(round(40000), 32767);
        EXPECT_EQ(round(-40000), -32768);
        // Beyond 2^31 the low 32 bits wrap (2^32 + 5 holds 5); the sign decides.
        EXPECT_EQ(round(2147483648.0), 32767);
        EXPECT_EQ(round(-2147483648.0), -32768);
        EXPECT_EQ(round(4294967296.0 + 5), 32767);
        EXPECT_EQ(round(-4294967296.0 - 5), -32768);
    }
    for (double x = -33000.0; x <= 33000.0; x += 0.25) ASSERT_EQ(roundToPcmByBias(x), roundToPcm(x)) << x;
}

TEST(FastSynthesis, RingPositionIsPerObjectAndResetForgetsHistory) {
    // A mono and a stereo stream decoded in turn, slot by slot, give what
    // each gives alone: neither steps the other's ring position.
    FastSynthesis mono, stereo, monoAlone, stereoAlone;
    std::mt19937 rng(9);
    for (int slot = 0; slot < 50; ++slot) {
        const std::vector<float> s0 = randomSlot(rng, slot), s1 = randomSlot(rng, slot + 1);
        int16_t a[32], b[64], c[32], d[64];
        mono.synthesize(s0.data(), a, 0, 1);
        stereo.synthesize(s1.data(), b, 0, 2);
        stereo.synthesize(s0.data(), b, 1, 2);
        monoAlone.synthesize(s0.data(), c, 0, 1);
        stereoAlone.synthesize(s1.data(), d, 0, 2);
        stereoAlone.synthesize(s0.data(), d, 1, 2);
        ASSERT_TRUE(std::equal(a, a + 32, c)) << slot;
        ASSERT_TRUE(std::equal(b, b + 64, d)) << slot;
    }
    // After a reset the output no longer depends on the earlier slots nor on
    // the ring position they left behind.
    FastSynthesis fresh;
    EXPECT_EQ(stereo.reset(), 0);
    const float zeros[32] = {};
    int16_t a[64], b[64];
    stereo.synthesize(zeros, a, 0, 1);
    for (int j = 0; j < 32; ++j) EXPECT_EQ(a[j], 0);
    for (int slot = 0; slot < 40; ++slot) {
        for (uint32_t ch = 0; ch < 2; ++ch) {
            const std::vector<float> s = randomSlot(rng, slot);
            stereo.synthesize(s.data(), a, ch, 2);
            fresh.synthesize(s.data(), b, ch, 2);
        }
        ASSERT_TRUE(std::equal(a, a + 64, b)) << slot;
    }
}

}  // namespace
}  // namespace qw
