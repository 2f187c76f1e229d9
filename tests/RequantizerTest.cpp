#include <gtest/gtest.h>

#include <algorithm>
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

// Requantizes with every magnitude 1 and sign +1 unless set, on the 44.1 kHz row.
struct Lines {
    uint16_t magnitudes[576];
    double signs[576], spectrum[576];
    Lines() { std::fill_n(magnitudes, 576, 1), std::fill_n(signs, 576, 1.0); }
    void run(const GranuleInfo& gi, uint32_t lineCount) {
        std::fill_n(spectrum, 576, 5.0);
        requantize<QualityPolicy>(quality, gi, bandEdges[0], magnitudes, signs, lineCount, spectrum);
    }
};

TEST(Requantizer, ShortBlockInCodedOrder) {
    auto r = std::make_unique<Lines>();
    GranuleInfo gi{};
    gi.global_gain = 210, gi.window_switching_flag = 1, gi.block_type = 2, gi.scalefac_s[0][1] = 1;
    gi.subblock_gain[1] = 1, gi.subblock_gain[2] = 2;
    r->run(gi, 576);
    // Band 0 (4 lines): window 0 at 0..3, window 1 at 4..7.  Band 12 at 44.1 kHz,
    // 56 lines per window: at 408, 464 and 520.
    EXPECT_TRUE(r->spectrum[3] == 1.0 && r->spectrum[407] == 1.0 / 16 && r->spectrum[408] == 1.0);
    EXPECT_DOUBLE_EQ(r->spectrum[4], 0.25 * std::sqrt(0.5));
    EXPECT_TRUE(r->spectrum[464] == 0.25 && r->spectrum[520] == 1.0 / 16 && r->spectrum[575] == 1.0 / 16);
    r->run(gi, 466);  // stops inside a window
    EXPECT_TRUE(r->spectrum[465] == 0.25 && r->spectrum[466] == 0.0);
    gi.mixed_block_flag = 1, r->run(gi, 576);
    EXPECT_EQ(r->spectrum[575], 5.0) << "a mixed block leaves the spectrum as it was";
}

// Correctly rounded: 8206^(4/3) = 165516.775412164279...
TEST(Requantizer, PowerTableIsExactAtItsTop) {
    EXPECT_EQ(quality.pow43[8206], 0x1.43466340b4af4p+17);
    EXPECT_EQ(performance.pow43[8191], 0x1.427ccp+17f);
}

}  // namespace
}  // namespace qw
