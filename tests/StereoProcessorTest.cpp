// Mid/side and intensity stereo, MPEG-1 and MPEG-2 forms, long and short blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "layer3/BandTables.h"
#include "layer3/SideInfo.h"
#include "synthesis/StereoProcessor.h"

namespace qw {
namespace {

struct Granule {
    StereoTables<double> tables;
    GranuleInfo info[2] = {};
    std::vector<double> left = std::vector<double>(576, 8.0), right = std::vector<double>(576, 0.0);

    void run(uint32_t versionIndex, uint32_t mode, uint32_t modeExtension, uint32_t row = 0) {
        static const BandIndex bands;
        processStereo<double>(tables, bands, row, {versionIndex, 2, mode, modeExtension}, info[0], info[1], left.data(),
                              right.data());
    }
    // {line, left, right} rows.
    void expect(std::initializer_list<std::array<double, 3>> rows, double tolerance = 0) {
        for (const auto& [line, l, r] : rows) {
            EXPECT_NEAR(left[size_t(line)], l, tolerance) << "left, line " << line;
            EXPECT_NEAR(right[size_t(line)], r, tolerance) << "right, line " << line;
        }
    }
};

const double sqrt2 = 1.4142135623730951, ms8 = 8 / sqrt2;  // 8 and 0 through mid/side

// MPEG-1, long blocks at 44.1 kHz, channel 1 silent from band 3 (line 12) up, where the intensity region starts; band
// 21 (from line 418) takes position 0.  A non-zero top band leaves no region, and a mixed block turns intensity off.
TEST(StereoProcessor, Mpeg1IntensityRatiosAndRegion) {
    Granule g, top, mixed;
    g.right[9] = 1.0, top.right[575] = 1.0;
    const uint32_t positions[] = {0, 6, 7, 3, 2};  // bands 3..7: all right, all left, illegal, halves
    std::copy(positions, positions + 5, g.info[1].scalefac_l + 3);
    g.run(0, 1, 3);
    g.expect({{9, 9 / sqrt2, 7 / sqrt2}, {11, ms8, ms8}, {12, 0, 8}, {16, 8, 0}, {20, ms8, ms8}, {24, 4, 4}}, 1e-14);
    g.expect({{30, 8 / (1 + std::sqrt(3.0)), 8 / (1 + 1 / std::sqrt(3.0))}, {575, 0, 8}}, 1e-14);
    top.run(0, 1, 3);
    top.expect({{0, ms8, ms8}, {575, 9 / sqrt2, 7 / sqrt2}});
    mixed.info[0].window_switching_flag = 1, mixed.info[0].block_type = 2, mixed.info[0].mixed_block_flag = 1;
    mixed.run(0, 1, 1);  // intensity only: nothing changes
    EXPECT_EQ(mixed.left, std::vector<double>(576, 8.0));
    EXPECT_EQ(mixed.right, std::vector<double>(576, 0.0));
}

// MPEG-2 at 22.05 kHz, channel 1 entirely silent: every line is in the region.
TEST(StereoProcessor, Mpeg2IntensityGainsAndIllegalPositions) {
    Granule g;
    GranuleInfo& c1 = g.info[1];
    c1.scalefac_compress = 1;  // intensity scale 1: steps of 2^(-1/2)
    std::fill_n(c1.intensityLimit, 20, 7);
    const uint32_t positions[] = {0, 3, 2, 7};  // bands 0..3 (6 lines each); 7 is the limit
    std::copy(positions, positions + 4, c1.scalefac_l);
    g.run(1, 1, 3, 3);  // band 21's position 0 meets band 20's limit 0: mid/side
    g.expect({{0, 8, 8}, {6, 4, 8}, {12, 8, 8 * std::pow(2.0, -0.5)}, {18, ms8, ms8}, {575, ms8, ms8}});

    c1.scalefac_compress = 0;  // intensity scale 0: steps of 2^(-1/4)
    c1.intensityLimit[20] = 7, g.left.assign(576, 8.0), g.right.assign(576, 0.0);
    g.run(2, 1, 1, 8);                                           // MPEG-2.5 8 kHz: band 2 is lines 24..35
    g.expect({{24, 8, 8 * std::pow(2.0, -0.25)}, {575, 8, 8}});  // band 21, position 0
}

// Short blocks: each window finds its own region; a window's last line is in band 12 like the rest of it.
TEST(StereoProcessor, ShortBlockWindowsHaveTheirOwnRegions) {
    Granule g;
    for (auto& info : g.info) info.window_switching_flag = 1, info.block_type = 2;
    g.right[3 * 20 + 0] = 1.0;   // window 0: line 20 is in band 4 (16..21)
    g.right[3 * 191 + 2] = 1.0;  // window 2: non-zero in band 12, no region
    for (uint32_t b = 0; b < 12; ++b) g.info[1].scalefac_s[b][0] = g.info[1].scalefac_s[b][1] = 6;
    g.run(0, 1, 1);
    // Window 0 below the region (band 4) and in it (band 5, position 6); window 1 from line 0;
    // window 1 in band 12 (position 0); window 2 untouched.
    g.expect({{3 * 21, 8, 0}, {3 * 22, 8, 0}, {1, 8, 0}, {3 * 191 + 1, 0, 8}, {3 * 191 + 2, 8, 1}}, 1e-14);
}

}  // namespace
}  // namespace qw
