#include <gtest/gtest.h>

#include <vector>

#include "layer3/ScaleFactors.h"
#include "mpeg/FrameHeader.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// An MPEG-2 frame header (joint stereo with intensity stereo) and main data whose fields the test appends.
struct Stage {
    Stage() : headerStream({0xFF, 0xF3, 0x90, 0x50}), header(&headerStream) { EXPECT_EQ(header.readNextFrame(), 0u); }
    void put(uint32_t value, uint32_t width) {
        for (uint32_t b = width; b-- > 0; ++bits) bytes[bits / 8] |= uint8_t(((value >> b) & 1) << (7 - bits % 8));
    }
    // Reads the channel's scale factors; returns the bits read.
    int32_t run(uint32_t channel) {
        test::MemoryStream data(bytes);
        MainDataBuffer mainData(&data);
        mainData.load(uint32_t(bytes.size()), 0);
        EXPECT_EQ(readScaleFactors(mainData, si, header, channel, 0), 0);
        return mainData.bitPosition;
    }
    test::MemoryStream headerStream;
    FrameHeader header;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64, 0);
    uint32_t bits = 0;
    SideInfo si{};
};

// Lower sampling frequencies: scalefac_compress picks four partitions' widths and the preflag.  The intensity
// channel also records each band's largest (illegal) position.
TEST(ScaleFactors, LowerRatePartitionsAndIntensityLimits) {
    Stage s;
    GranuleInfo &gi = s.si.granule[0][0], &ic = s.si.granule[0][1];
    gi.scalefac_compress = 500, gi.scalefac_l[3] = 7;  // slen (0, 0, 0, 0) and preflag
    EXPECT_EQ(s.run(0), 0);
    EXPECT_EQ(gi.preflag, 1u);
    EXPECT_EQ(gi.scalefac_l[3], 0u);

    ic.scalefac_compress = 2 * 91, ic.preflag = 1;  // slen (2, 3, 1, 0) over 7, 7, 7 bands
    for (uint32_t b = 0; b < 21; ++b) s.put(b == 13 ? 5 : 1, b < 7 ? 2 : b < 14 ? 3 : 1);
    EXPECT_EQ(s.run(1), 7 * 2 + 7 * 3 + 7 * 1);
    EXPECT_EQ(ic.preflag, 0u);
    EXPECT_EQ(ic.scalefac_l[13], 5u);
    EXPECT_EQ(ic.scalefac_l[20], 1u);
    for (uint32_t b = 0; b < 21; ++b) EXPECT_EQ(ic.intensityLimit[b], b < 7 ? 3u : b < 14 ? 7u : 1u) << b;
    // Short block, t = 1: slen (0, 0, 1, 0) over 12, 9, 9, 6 values: only bands 7..9 have bits.
    ic.window_switching_flag = 1, ic.block_type = 2, ic.scalefac_compress = 2 * 181;
    EXPECT_EQ(s.run(1), 9);
    for (uint32_t b = 0; b < 12; ++b) EXPECT_EQ(ic.intensityLimit[b], b >= 7 && b <= 9 ? 1u : 0u) << b;
}

}  // namespace
}  // namespace qw
