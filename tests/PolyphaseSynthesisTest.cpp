#include "synthesis/PolyphaseSynthesis.h"

#include <gtest/gtest.h>

#include <cmath>

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

}  // namespace
}  // namespace qw
