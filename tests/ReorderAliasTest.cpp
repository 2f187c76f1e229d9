// Short-block reordering and alias reduction.
#include <gtest/gtest.h>

#include <vector>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"
#include "synthesis/AliasReduction.h"
#include "synthesis/ShortBlockReorder.h"

namespace qw {
namespace {

GranuleInfo block(uint32_t type, uint32_t mixed = 0) {
    GranuleInfo info{};
    info.window_switching_flag = type != 0;
    info.block_type = type;
    info.mixed_block_flag = mixed;
    return info;
}

std::vector<double> ramp() {
    std::vector<double> v(576);
    for (uint32_t i = 0; i < 576; ++i) v[i] = i + 1.0;
    return v;
}

TEST(ShortBlockReorder, InterleavesWindowsBandByBand) {
    const uint16_t* shortEdges = bandEdges[0] + longEdgeCount;  // MPEG-1 44.1 kHz
    const std::vector<double> in = ramp();
    std::vector<double> out(576, -1.0);
    reorderShortBlocks<QualityPolicy>(block(2), shortEdges, in.data(), out.data());
    // Window 1, line 3 of band 11 (start 106, width 30) moves to line 106 + 3
    // of window 1.
    EXPECT_EQ(out[3 * 106 + 9 + 1], in[3 * 106 + 30 + 3]);
    EXPECT_EQ(out[575], in[575]);                   // last line of band 12, window 2
    EXPECT_EQ(out[3 * 136 + 1], in[3 * 136 + 56]);  // first line of band 12, window 1
    // Every input value lands exactly once.
    std::vector<int> seen(577, 0);
    for (double v : out) ++seen[size_t(v)];
    for (uint32_t i = 1; i <= 576; ++i) EXPECT_EQ(seen[i], 1) << i;
}

TEST(ShortBlockReorder, CopiesLongBlocksAndSilencesMixedBlocks) {
    const uint16_t* shortEdges = bandEdges[4] + longEdgeCount;
    const std::vector<float> in(576, 3.5f);
    std::vector<float> out(576, -1.0f);
    for (uint32_t type : {0u, 1u, 3u}) {
        reorderShortBlocks<PerformancePolicy>(block(type), shortEdges, in.data(), out.data());
        EXPECT_EQ(out, in) << type;
    }
    reorderShortBlocks<PerformancePolicy>(block(2, 1), shortEdges, in.data(), out.data());
    EXPECT_EQ(out, std::vector<float>(576, 0.0f));
}

// One value in the top line of subband 0 spreads into the bottom line of
// subband 1 with the first coefficient pair; nothing beyond the eight lines
// on each side of a boundary changes.
TEST(AliasReduction, ButterfliesMixAcrossSubbandBoundaries) {
    std::vector<double> x(576, 0.0);
    for (uint32_t i = 0; i < 18; ++i) x[i] = 1.0;
    reduceAliasing<QualityPolicy>(block(0), 0, x.data());
    EXPECT_EQ(x[17], 0.857492925712);
    EXPECT_EQ(x[18], -0.514495755427);
    EXPECT_EQ(x[10], 0.999993155067);
    EXPECT_EQ(x[25], -0.00369997467375);
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(x[i], 1.0) << i;
    for (uint32_t i = 26; i < 576; ++i) EXPECT_EQ(x[i], 0.0) << i;

    // A butterfly reads both values before it writes: lo' = lo cs - hi ca.
    std::vector<float> y(576, 0.0f);
    y[539] = 2.0f;  // top line of subband 29
    y[540] = 1.0f;  // bottom line of subband 30
    reduceAliasing<PerformancePolicy>(block(1), 0, y.data());
    EXPECT_EQ(y[539], float(2.0 * double(0.857492925712f) - double(-0.514495755427f)));
    EXPECT_EQ(y[540], float(1.0 * double(0.857492925712f) + 2.0 * double(-0.514495755427f)));
}

TEST(AliasReduction, ShortBlocksAreUntouchedAndMixedBlocksStopAtRegion1) {
    const std::vector<double> in = ramp();
    std::vector<double> x = in;
    reduceAliasing<QualityPolicy>(block(2), 36, x.data());
    EXPECT_EQ(x, in);

    reduceAliasing<QualityPolicy>(block(2, 1), 36, x.data());  // boundary 18 only
    EXPECT_NE(x[17], in[17]);
    EXPECT_NE(x[18], in[18]);
    for (uint32_t i = 26; i < 576; ++i) EXPECT_EQ(x[i], in[i]) << i;
}

}  // namespace
}  // namespace qw
