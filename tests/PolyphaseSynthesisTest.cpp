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

TEST(PolyphaseSynthesis, ChannelsStaySeparateAndResetForgetsHistory) {
    PolyphaseSynthesis stereo, mono, fresh;
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
        ASSERT_EQ(alone[32], 0x5A5A);
        ASSERT_EQ(block[64], 0x5A5A);
        // Channel 1's calls never disturb channel 0's history.
        for (int j = 0; j < 32; ++j) ASSERT_EQ(block[2 * j], alone[j]) << slot;
    }
    // After a reset the bank behaves like a new one: silence gives zeros and
    // the taps that reach older slots read zeros.
    EXPECT_EQ(stereo.reset(), 0);
    const double zeros[32] = {};
    stereo.synthesize(zeros, block, 0, 1);
    for (int j = 0; j < 32; ++j) EXPECT_EQ(block[j], 0);
    fresh.synthesize(zeros, alone, 0, 1);
    for (int slot = 0; slot < 20; ++slot) {
        stereo.synthesize(left, block, 0, 1);
        fresh.synthesize(left, alone, 0, 1);
        for (int j = 0; j < 32; ++j) ASSERT_EQ(block[j], alone[j]) << slot;
        std::swap(left, right);
    }
}

}  // namespace
}  // namespace qw
