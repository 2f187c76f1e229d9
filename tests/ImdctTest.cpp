#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "layer3/SideInfo.h"
#include "synthesis/Imdct.h"

namespace qw {
namespace {

const double pi = 3.14159265358979323846;

// One subband's 36 windowed outputs from the transform's defining sums; short windows start at 6, 12, 18.
std::vector<double> reference(uint32_t type, const double* x) {
    std::vector<double> y(36, 0.0);
    for (uint32_t i = 0; i < 36 && type != 2; ++i) {
        const double normal = std::sin((i + 0.5) * pi / 36), edge = std::sin((i - (type == 1 ? 17.5 : 5.5)) * pi / 12);
        for (uint32_t k = 0; k < 18; ++k) y[i] += x[k] * std::cos(pi / 72 * (2 * i + 19) * (2 * k + 1));
        if (type == 1) y[i] *= i < 18 ? normal : i < 24 ? 1 : i < 30 ? edge : 0;
        y[i] *= type == 3 ? (i < 6 ? 0 : i < 12 ? edge : i < 18 ? 1 : normal) : type == 0 ? normal : 1;
    }
    for (uint32_t n = 0; n < 36 && type == 2; ++n) {  // window v, sample i
        const uint32_t v = n / 12, i = n % 12;
        for (uint32_t k = 0; k < 6; ++k)
            y[6 + 6 * v + i] +=
                x[3 * k + v] * std::cos(pi / 24 * (2 * i + 7) * (2 * k + 1)) * std::sin((i + 0.5) * pi / 12);
    }
    return y;
}

// The inverse MDCT and its windows for every block type (4: a mixed block, whose two lowest subbands are long), with a
// different input in each subband: subband k < 18 holds the single line X[k] = 1, the others dense values.  Outside its
// windows a short block is exactly zero.  The quality variant's constants carry nine digits.
TEST(Imdct, MatchesDirectSumsForEveryBlockType) {
    std::vector<double> x(576);
    for (uint32_t j = 0; j < 576; ++j) x[j] = j / 18 < 18 ? (j % 18 == j / 18 ? 1.0 : 0.0) : std::sin(j * 0.37) * 1000;
    const auto check = [&x](auto sample, double tolerance) {  // relative tolerance
        using Sample = decltype(sample);
        const auto tables = std::make_unique<ImdctTables<Sample>>();
        std::vector<Sample> spectrum, overlap, samples(576);
        for (uint32_t type : {0u, 1u, 2u, 3u, 4u}) {
            GranuleInfo info{};
            info.window_switching_flag = type != 0, info.mixed_block_flag = type == 4;
            info.block_type = type == 4 ? 2 : type;
            spectrum.assign(x.begin(), x.end()), overlap.assign(576, 0);  // the transform works in place
            inverseMdct<Sample>(*tables, info, spectrum.data(), overlap.data(), samples.data());
            for (uint32_t sb = 0; sb < 32; ++sb) {
                const uint32_t subbandType = type == 4 ? (sb < 2 ? 0 : 2) : type;
                const std::vector<double> y = reference(subbandType, &x[18 * sb]);
                const double scale = sb < 18 ? 1.0 : 18000.0;
                for (uint32_t i = 0; i < 18; ++i) {
                    ASSERT_NEAR(samples[32 * i + sb], y[i], tolerance * scale) << type << " " << sb << " " << i;
                    ASSERT_NEAR(overlap[18 * sb + i], y[18 + i], tolerance * scale) << type << " " << sb;
                    const bool outside = subbandType == 2 && (i < 6 || i >= 12);
                    if (outside) {
                        ASSERT_EQ(i < 6 ? samples[32 * i + sb] : overlap[18 * sb + i], 0) << sb << " " << i;
                    }
                }
            }
        }
    };
    check(double{}, 2e-8);
    check(float{}, 2e-6);
}

}  // namespace
}  // namespace qw
