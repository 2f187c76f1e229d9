#include "synthesis/PolyphaseSynthesis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "synthesis/SynthesisWindow.h"

namespace qw {
namespace {

TEST(SynthesisWindow, HasStandardValuesAndSymmetry) {
    EXPECT_EQ(synthesisWindow[0], 0.0);
    EXPECT_EQ(synthesisWindow[1], -0.000015259);
    EXPECT_EQ(synthesisWindow[256], 1.144989014);
    for (int i = 1; i < 512; ++i) {
        // Antisymmetric about the centre except at the multiples of 64.
        const double mirrored = i % 64 == 0 ? synthesisWindow[512 - i] : -synthesisWindow[512 - i];
        ASSERT_EQ(synthesisWindow[i], mirrored) << i;
        // Every coefficient is a multiple of 2^-16 given to nine decimals.
        ASSERT_NEAR(synthesisWindow[i] * 65536, std::round(synthesisWindow[i] * 65536), 65536 * 0.5e-9) << i;
    }
}

// Each channel keeps to its own places and its own history, and writes no more than its 32 samples.
TEST(PolyphaseSynthesis, ChannelsStaySeparate) {
    PolyphaseSynthesis stereo, mono;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    double left[32], right[32];
    int16_t block[66], alone[33];
    for (int slot = 0; slot < 40; ++slot) {
        for (int i = 0; i < 32; ++i) left[i] = uniform(rng), right[i] = uniform(rng);
        std::fill(std::begin(block), std::end(block), int16_t(0x5A5A));
        alone[32] = 0x5A5A;
        stereo.synthesize(left, block, 0, 2);
        for (int j = 0; j < 32; ++j) ASSERT_EQ(block[2 * j + 1], 0x5A5A);  // channel 0 keeps to even places
        stereo.synthesize(right, block, 1, 2);
        mono.synthesize(left, alone, 0, 1);
        ASSERT_TRUE(alone[32] == 0x5A5A && block[64] == 0x5A5A);
        // Channel 1's calls never disturb channel 0's history.
        for (int j = 0; j < 32; ++j) ASSERT_EQ(block[2 * j], alone[j]) << slot;
    }
}

}  // namespace
}  // namespace qw
