#include "synthesis/FastSynthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <vector>

#include "synthesis/PolyphaseSynthesis.h"

namespace qw {
namespace {

// One slot of subband samples, exact in both precisions; some clip, some push window sums far beyond 2^31.
std::vector<float> randomSlot(std::mt19937& rng, int slot) {
    std::vector<float> s(32);
    for (float& x : s)
        x = std::uniform_real_distribution<float>(-1, 1)(rng) * (slot % 11 == 4 ? 1e8f : slot % 5 == 2 ? 2.5f : 0.25f);
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
                fast.synthesize(s.data(), a, ch, channels);
                quality.synthesize(std::vector<double>(s.begin(), s.end()).data(), b, ch, channels);
            }
            ASSERT_EQ(a[32 * channels], 0x5A5A) << "wrote past its 32 samples per channel";
            for (uint32_t i = 0; i < 32 * channels; ++i)
                largest = std::max(largest, std::abs(a[i] - b[i])), clipped += b[i] == 32767 || b[i] == -32768;
        }
        EXPECT_LE(largest, 1) << channels << " channels";
        EXPECT_GT(clipped, 1000) << channels << " channels";
    }
}

// Beyond 2^31 the low 32 bits wrap (2^32 + 5 = 4294967301 holds 5); the sign decides.
TEST(FastSynthesis, RoundsTiesToEvenAndClips) {
    // {input, expected} pairs.
    const double cases[] = {2.5,          2,     3.5,           4,      -2.5,         -2,    -3.5,          -4,
                            32767.5,      32767, -32768.5,      -32768, 40000,        32767, -40000,        -32768,
                            2147483648.0, 32767, -2147483648.0, -32768, 4294967301.0, 32767, -4294967301.0, -32768};
    for (size_t i = 0; i < std::size(cases); i += 2) {
        EXPECT_EQ(roundToPcmByBias(cases[i]), cases[i + 1]) << cases[i];
        EXPECT_EQ(roundToPcm(cases[i]), cases[i + 1]) << cases[i];
    }
    for (double x = -33000.0; x <= 33000.0; x += 0.25) ASSERT_EQ(roundToPcmByBias(x), roundToPcm(x)) << x;
}

// Each object keeps its own ring position: a mono bank gives the same output whether or not a stereo bank is called
// between its slots.
TEST(FastSynthesis, RingPositionIsPerObject) {
    const auto mono = [](bool withStereo) {
        std::mt19937 rng(9);
        FastSynthesis monoBank, stereoBank;
        std::vector<int16_t> out(32 * 40);
        for (int slot = 0; slot < 40; ++slot) {
            const std::vector<float> s = randomSlot(rng, slot);
            monoBank.synthesize(s.data(), &out[32 * slot], 0, 1);
            int16_t stereo[64];
            if (withStereo)
                stereoBank.synthesize(s.data(), stereo, 0, 2), stereoBank.synthesize(s.data(), stereo, 1, 2);
        }
        return out;
    };
    EXPECT_EQ(mono(true), mono(false));
}

}  // namespace
}  // namespace qw
