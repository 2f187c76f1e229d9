// Mid/side and intensity stereo, MPEG-1 and MPEG-2 forms, long and short
// blocks.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"
#include "synthesis/StereoProcessor.h"

namespace qw {
namespace {

template <class Policy>
struct Granule {
    using Sample = typename Policy::Sample;
    static const BandIndex& bands() {
        static const BandIndex index;
        return index;
    }
    StereoTables<Policy> tables;
    GranuleInfo info[2] = {};
    std::vector<Sample> left = std::vector<Sample>(576, Sample(8)), right = std::vector<Sample>(576, Sample(0));

    void run(uint32_t versionIndex, uint32_t channels, uint32_t mode, uint32_t modeExtension, uint32_t row = 0) {
        const StereoFrame frame{versionIndex, channels, mode, modeExtension};
        processStereo<Policy>(tables, bands(), row, frame, info[0], info[1], left.data(), right.data());
    }
};

double midSide(double a, double b, double sqrt2) { return (a + b) / sqrt2; }

// MPEG-1, long blocks at 44.1 kHz, channel 1 silent above band 2 (lines
// 8..11): the intensity region starts at band 3 (line 12).
TEST(StereoProcessor, Mpeg1IntensityRatiosByPosition) {
    Granule<QualityPolicy> g;
    g.right[9] = 1.0;
    g.info[1].scalefac_l[3] = 0;  // lines 12..15: all to the right
    g.info[1].scalefac_l[4] = 6;  // lines 16..19: all to the left
    g.info[1].scalefac_l[5] = 7;  // lines 20..23: illegal, mid/side
    g.info[1].scalefac_l[6] = 3;  // lines 24..29: equal halves
    g.info[1].scalefac_l[7] = 2;  // lines 30..35
    g.run(0, 2, 1, 3);
    const double r = 1.4142135623730951;
    EXPECT_EQ(g.left[9], midSide(8, 1, r));  // below the region: mid/side
    EXPECT_EQ(g.left[11], midSide(8, 0, r));
    EXPECT_EQ(g.left[12] + g.right[12], 8.0);
    EXPECT_EQ(g.right[12], 8.0);
    EXPECT_NEAR(g.left[16], 8.0, 1e-15);
    EXPECT_TRUE(g.right[16] > 0.0 && g.right[16] < 8e-15);
    EXPECT_EQ(g.left[20], midSide(8, 0, r));
    EXPECT_NEAR(g.left[24] - g.right[24], 0.0, 1e-14);
    const double ratio = std::tan(2 * 3.14159265358979323846 / 12);
    EXPECT_NEAR(g.left[30], 8 * ratio / (1 + ratio), 1e-14);
    EXPECT_NEAR(g.right[30], 8 / (1 + ratio), 1e-14);
    // Band 21 (lines 418..575) takes the position stored for it, 0.
    EXPECT_EQ(g.right[575], 8.0);
}

TEST(StereoProcessor, NonZeroTopBandOrMixedBlockTurnsIntensityOff) {
    Granule<PerformancePolicy> g;
    g.right[575] = 1.0f;
    g.run(0, 2, 1, 3);
    EXPECT_EQ(g.left[0], float(midSide(8, 0, double(1.41421356f))));
    EXPECT_EQ(g.right[575], float(midSide(8, -1, double(1.41421356f))));

    Granule<PerformancePolicy> mixed;
    mixed.info[0].window_switching_flag = 1;
    mixed.info[0].block_type = 2;
    mixed.info[0].mixed_block_flag = 1;
    mixed.run(0, 2, 1, 1);  // intensity only: nothing changes
    EXPECT_EQ(mixed.left, std::vector<float>(576, 8.0f));
    EXPECT_EQ(mixed.right, std::vector<float>(576, 0.0f));
}

// MPEG-2 at 22.05 kHz, channel 1 entirely silent: every line is in the region.
TEST(StereoProcessor, Mpeg2IntensityGainsAndIllegalPositions) {
    Granule<QualityPolicy> g;
    GranuleInfo& c1 = g.info[1];
    c1.scalefac_compress = 1;  // intensity scale 1: steps of 2^(-1/2)
    for (uint32_t b = 0; b < 21; ++b) c1.intensityLimit[b] = 7;
    c1.scalefac_l[0] = 0;       // lines 0..5: both channels x
    c1.scalefac_l[1] = 3;       // lines 6..11: left 2^-1
    c1.scalefac_l[2] = 2;       // lines 12..17: right 2^-(1/2)
    c1.scalefac_l[3] = 7;       // lines 18..23: the limit, mid/side
    c1.intensityLimit[20] = 0;  // band 21's position 0 meets band 20's limit
    g.run(1, 2, 1, 3, 3);
    EXPECT_EQ(g.left[0], 8.0);
    EXPECT_EQ(g.right[0], 8.0);
    EXPECT_EQ(g.left[6], 4.0);
    EXPECT_EQ(g.right[6], 8.0);
    EXPECT_EQ(g.left[12], 8.0);
    EXPECT_EQ(g.right[12], 8.0 * std::pow(2.0, -0.5));
    EXPECT_EQ(g.left[18], midSide(8, 0, 1.4142135623730951));
    EXPECT_EQ(g.left[575], midSide(8, 0, 1.4142135623730951));

    c1.scalefac_compress = 0;  // intensity scale 0: steps of 2^(-1/4)
    c1.intensityLimit[20] = 7;
    std::fill(g.left.begin(), g.left.end(), 8.0);
    std::fill(g.right.begin(), g.right.end(), 0.0);
    g.run(2, 2, 1, 1, 8);  // MPEG-2.5 8 kHz: band 2 is lines 24..35
    EXPECT_EQ(g.right[24], 8.0 * std::pow(2.0, -0.25));
    EXPECT_EQ(g.left[575], 8.0);  // band 21, position 0
}

// Short blocks: each window finds its own region, and the last line of a
// window belongs to band 12 like the rest of it.
TEST(StereoProcessor, ShortBlockWindowsHaveTheirOwnRegions) {
    Granule<QualityPolicy> g;
    for (auto& info : g.info) {
        info.window_switching_flag = 1;
        info.block_type = 2;
    }
    g.right[3 * 20 + 0] = 1.0;   // window 0: line 20 is in band 4 (16..21)
    g.right[3 * 191 + 2] = 1.0;  // window 2: non-zero in band 12, no region
    for (uint32_t b = 0; b < 12; ++b) g.info[1].scalefac_s[b][0] = g.info[1].scalefac_s[b][1] = 6;
    g.run(0, 2, 1, 1);
    EXPECT_EQ(g.left[3 * 21 + 0], 8.0);           // window 0, band 4: below the region
    EXPECT_NEAR(g.left[3 * 22 + 0], 8.0, 1e-14);  // window 0, band 5: position 6
    EXPECT_LT(g.right[3 * 22 + 0], 1e-14);
    EXPECT_NEAR(g.left[1], 8.0, 1e-14);   // window 1: everything from line 0
    EXPECT_EQ(g.left[3 * 191 + 1], 0.0);  // band 12, position 0
    EXPECT_EQ(g.right[3 * 191 + 1], 8.0);
    EXPECT_EQ(g.left[3 * 191 + 2], 8.0);  // window 2: untouched
    EXPECT_EQ(g.right[3 * 191 + 2], 1.0);
}

}  // namespace
}  // namespace qw
