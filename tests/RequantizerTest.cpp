#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"
#include "layer3/Requantizer.h"

namespace qw {
namespace {

// Built once: the tables are large and constant.
const RequantizeTables<QualityPolicy>& quality = *new RequantizeTables<QualityPolicy>;
const RequantizeTables<PerformancePolicy>& performance = *new RequantizeTables<PerformancePolicy>;
const BandIndex& bands = *new BandIndex;

TEST(BandTables, RowsAndLineLookups) {
    for (uint32_t row = 0; row < 9; ++row) {
        const uint16_t* e = bandEdges[row];
        EXPECT_EQ(e[22], 576);
        EXPECT_EQ(e[36], 192);
        for (uint32_t i = 1; i < 37; ++i) EXPECT_TRUE(i == 23 ? e[i] == 0 : e[i - 1] < e[i]) << row << " " << i;
    }
    EXPECT_EQ(bands.longBandOfLine[0][417], 20);
    EXPECT_EQ(bands.longBandOfLine[0][418], 21);
    EXPECT_EQ(bands.longBandOfLine[8][566], 17);
    EXPECT_EQ(bands.shortBandOfLine[1][125], 11);
    EXPECT_EQ(bands.shortBandOfLine[1][126], 12);
    EXPECT_EQ(bands.shortLineIndex[2][5], 17);
}

template <class Policy>
struct Lines {
    using Sample = typename Policy::Sample;
    uint16_t magnitudes[576] = {};
    Sample signs[576] = {};
    Sample spectrum[576];
    Lines() { std::fill(spectrum, spectrum + 576, Sample(5)); }
    void run(const RequantizeTables<Policy>& tables, const GranuleInfo& gi, uint32_t lineCount) {
        requantize<Policy>(tables, gi, bandEdges[0], magnitudes, signs, lineCount, spectrum);
    }
};

TEST(Requantizer, LongBlockFactors) {
    auto r = std::make_unique<Lines<QualityPolicy>>();
    for (uint32_t line : {0u, 4u, 196u, 200u}) r->magnitudes[line] = 1, r->signs[line] = 1;
    r->magnitudes[8] = 8, r->signs[8] = -1;
    GranuleInfo gi{};
    gi.global_gain = 210;
    gi.scalefac_l[1] = 2;  // lines 4..7; band 17 (lines 196..237) has pretab 3
    gi.preflag = 1;
    r->run(quality, gi, 200);
    EXPECT_EQ(r->spectrum[0], 1.0);
    EXPECT_EQ(r->spectrum[4], 0.5);
    EXPECT_DOUBLE_EQ(r->spectrum[8], -16.0);  // the exponent is the double nearest 4/3
    EXPECT_DOUBLE_EQ(r->spectrum[196], std::pow(2.0, -1.5));
    EXPECT_EQ(r->spectrum[1], 0.0);
    EXPECT_EQ(r->spectrum[200], 0.0) << "beyond lineCount";

    gi.scalefac_scale = 1;
    r->run(quality, gi, 200);
    EXPECT_EQ(r->spectrum[4], 0.25);
    EXPECT_EQ(r->spectrum[196], 0.125);

    r->run(quality, gi, 0);
    for (double v : r->spectrum) ASSERT_EQ(v, 0.0);
}

TEST(Requantizer, ShortBlockInCodedOrder) {
    auto r = std::make_unique<Lines<QualityPolicy>>();
    std::fill(r->magnitudes, r->magnitudes + 576, uint16_t(1));
    std::fill(r->signs, r->signs + 576, 1.0);
    GranuleInfo gi{};
    gi.global_gain = 210;
    gi.window_switching_flag = 1, gi.block_type = 2;
    gi.subblock_gain[0] = 0, gi.subblock_gain[1] = 1, gi.subblock_gain[2] = 2;
    gi.scalefac_s[0][1] = 1;
    r->run(quality, gi, 576);
    // Band 0 (4 lines): window 0 at 0..3, window 1 at 4..7.
    EXPECT_EQ(r->spectrum[3], 1.0);
    EXPECT_DOUBLE_EQ(r->spectrum[4], 0.25 * std::sqrt(0.5));
    // Band 12 at 44.1 kHz, 56 lines per window: at 408, 464 and 520.
    EXPECT_EQ(r->spectrum[407], 1.0 / 16);
    EXPECT_EQ(r->spectrum[408], 1.0);
    EXPECT_EQ(r->spectrum[464], 0.25);
    EXPECT_EQ(r->spectrum[520], 1.0 / 16);
    EXPECT_EQ(r->spectrum[575], 1.0 / 16);

    r->run(quality, gi, 466);  // stops inside a window
    EXPECT_EQ(r->spectrum[465], 0.25);
    EXPECT_EQ(r->spectrum[466], 0.0);

    gi.mixed_block_flag = 1;
    r->spectrum[575] = 3;
    r->run(quality, gi, 576);
    EXPECT_EQ(r->spectrum[575], 3.0) << "a mixed block leaves the spectrum as it was";
}

TEST(Requantizer, PowerTableIsExactAtItsTop) {
    // Perfect cubes come out exact; the top entries to the last bit or so.
    for (uint32_t n : {8u, 27u, 1000u, 4096u}) EXPECT_EQ(quality.pow43[n], n * std::cbrt(double(n))) << n;
    EXPECT_DOUBLE_EQ(quality.pow43[8206], std::pow(8206.0, 4.0 / 3.0));
    EXPECT_FLOAT_EQ(performance.pow43[8191], float(std::pow(8191.0, 4.0 / 3.0)));
}

}  // namespace
}  // namespace qw
