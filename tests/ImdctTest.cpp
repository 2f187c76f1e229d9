// The inverse MDCT and its windows against the transform's defining sums.
#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <vector>

#include "layer3/Layer3Policy.h"
#include "synthesis/Imdct.h"

namespace qw {
namespace {

const double pi = 3.14159265358979323846;

template <class Policy>
struct ImdctTest : ::testing::Test {
    using Sample = typename Policy::Sample;
    // Relative accuracy: the quality variant's constants carry nine digits.
    static constexpr double tolerance = std::is_same_v<Sample, double> ? 2e-8 : 2e-6;

    ImdctTables<Policy> tables;
    std::vector<Sample> spectrum = std::vector<Sample>(576), overlap = std::vector<Sample>(576),
                        samples = std::vector<Sample>(576);

    void run(const GranuleInfo& info) {
        inverseMdct<Policy>(tables, info, spectrum.data(), overlap.data(), samples.data());
    }
};
using Policies = ::testing::Types<QualityPolicy, PerformancePolicy>;
TYPED_TEST_SUITE(ImdctTest, Policies);

GranuleInfo block(uint32_t type, uint32_t mixed = 0) {
    GranuleInfo info{};
    info.window_switching_flag = type != 0;
    info.block_type = type;
    info.mixed_block_flag = mixed;
    return info;
}

double longWindow(uint32_t type, uint32_t i) {
    const double normal = std::sin((i + 0.5) * pi / 36);
    if (type == 1) return i < 18 ? normal : i < 24 ? 1 : i < 30 ? std::sin((i - 17.5) * pi / 12) : 0;
    if (type == 3) return i < 6 ? 0 : i < 12 ? std::sin((i - 5.5) * pi / 12) : i < 18 ? 1 : normal;
    return normal;
}

// The 36 windowed outputs of one subband, from the defining sums.
std::vector<double> reference(uint32_t type, const double* x) {
    std::vector<double> y(36, 0.0);
    if (type != 2) {
        for (uint32_t i = 0; i < 36; ++i) {
            double sum = 0;
            for (uint32_t k = 0; k < 18; ++k) sum += x[k] * std::cos(pi / 72 * (2 * i + 19) * (2 * k + 1));
            y[i] = sum * longWindow(type, i);
        }
        return y;
    }
    for (uint32_t v = 0; v < 3; ++v) {
        for (uint32_t i = 0; i < 12; ++i) {
            double sum = 0;
            for (uint32_t k = 0; k < 6; ++k) sum += x[3 * k + v] * std::cos(pi / 24 * (2 * i + 7) * (2 * k + 1));
            y[6 + 6 * v + i] += sum * std::sin((i + 0.5) * pi / 12);
        }
    }
    return y;
}

// Every block type, with a different input in each subband: subband k < 18
// holds the single line X[k] = 1 (subband 0 the impulse whose output is
// cos(pi/72 (2i + 19)) w[i]), the others dense values; and the mixed block,
// whose two lowest subbands are long.
TYPED_TEST(ImdctTest, MatchesDirectSumsForEveryBlockType) {
    for (uint32_t type : {0u, 1u, 2u, 3u, 4u}) {  // 4: a mixed block
        const GranuleInfo info = type == 4 ? block(2, 1) : block(type);
        std::vector<double> x(576);
        for (uint32_t j = 0; j < 576; ++j)
            x[j] = j / 18 < 18 ? (j % 18 == j / 18 ? 1.0 : 0.0) : std::sin(j * 0.37) * 1000;
        for (uint32_t j = 0; j < 576; ++j) this->spectrum[j] = typename TypeParam::Sample(x[j]);
        std::fill(this->overlap.begin(), this->overlap.end(), 0);
        this->run(info);
        for (uint32_t sb = 0; sb < 32; ++sb) {
            const uint32_t subbandType = type == 4 ? (sb < 2 ? 0 : 2) : type;
            const std::vector<double> y = reference(subbandType, &x[18 * sb]);
            const double scale = sb < 18 ? 1.0 : 18000.0;
            for (uint32_t i = 0; i < 18; ++i) {
                ASSERT_NEAR(this->samples[32 * i + sb], y[i], this->tolerance * scale) << type << " " << sb << " " << i;
                ASSERT_NEAR(this->overlap[18 * sb + i], y[18 + i], this->tolerance * scale) << type << " " << sb;
            }
            if (subbandType == 2) {
                // The short windows start at sample 6 and end at sample 29.
                for (uint32_t i = 0; i < 6; ++i) {
                    EXPECT_EQ(this->samples[32 * i + sb], 0) << sb;
                    EXPECT_EQ(this->overlap[18 * sb + 12 + i], 0) << sb;
                }
            }
        }
    }
}

}  // namespace
}  // namespace qw
