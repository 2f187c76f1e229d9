#include <gtest/gtest.h>

#include <vector>

#include "layer3/ScaleFactors.h"
#include "mpeg/FrameHeader.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// A frame header (version bits 3 MPEG-1, 2 MPEG-2; joint stereo with the given
// mode extension) and main data whose fields the test appends.
struct Stage {
    Stage(uint32_t versionBits, uint32_t modeExtension)
        : headerStream({0xFF, uint8_t(0xE3 | versionBits << 3), 0x90, uint8_t(0x40 | modeExtension << 4)}),
          header(&headerStream) {
        EXPECT_EQ(header.readNextFrame(), 0u);
    }
    void put(uint32_t value, uint32_t width) {
        for (uint32_t b = width; b-- > 0; ++bits) bytes[bits / 8] |= uint8_t(((value >> b) & 1) << (7 - bits % 8));
    }
    // Reads each (channel, granule) in turn; returns the bits read.
    int32_t run(std::initializer_list<std::pair<uint32_t, uint32_t>> order) {
        test::MemoryStream data(bytes);
        MainDataBuffer mainData(&data);
        mainData.load(uint32_t(bytes.size()), 0);
        for (auto [channel, granule] : order) EXPECT_EQ(readScaleFactors(mainData, si, header, channel, granule), 0);
        return mainData.bitPosition;
    }
    test::MemoryStream headerStream;
    FrameHeader header;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64, 0);
    uint32_t bits = 0;
    SideInfo si{};
};

TEST(ScaleFactors, Mpeg1ScfsiGroupsAndMixedBlock) {
    Stage s(3, 0);
    s.si.granule[0][1].scalefac_compress = s.si.granule[1][1].scalefac_compress = 15;  // slen 4 and 3
    s.si.scfsi[1][0] = s.si.scfsi[1][3] = 1;  // granule 1 shares bands 0..5 and 16..20
    for (uint32_t b = 0; b < 21; ++b) s.put(b % 8, b < 11 ? 4 : 3);
    for (uint32_t b = 6; b < 16; ++b) s.put(7 - b % 8, b < 11 ? 4 : 3);
    EXPECT_EQ(s.run({{1, 0}, {1, 1}}), 11 * 4 + 10 * 3 + 35);
    const uint32_t* g1 = s.si.granule[1][1].scalefac_l;
    for (uint32_t b = 0; b < 22; ++b) EXPECT_EQ(g1[b], b == 21 ? 0 : b < 6 || b >= 16 ? b % 8 : 7 - b % 8) << b;

    GranuleInfo& gi = s.si.granule[0][0];
    gi.window_switching_flag = 1, gi.block_type = 2, gi.mixed_block_flag = 1, gi.scalefac_compress = 5;  // slen 1, 1
    EXPECT_EQ(s.run({{0, 0}}), 8 + 9 + 18);  // mixed: 8 long bands, then short bands 3..5 and 6..11
}

// Lower sampling frequencies: scalefac_compress picks four partitions' widths and the preflag; a mixed
// block reads nothing.  The intensity channel also records each band's largest (illegal) position.
TEST(ScaleFactors, LowerRatePartitionsAndIntensityLimits) {
    Stage s(2, 1);
    GranuleInfo &gi = s.si.granule[0][0], &ic = s.si.granule[0][1];
    gi.scalefac_compress = 500, gi.scalefac_l[3] = 7;  // slen (0, 0, 0, 0) and preflag
    EXPECT_TRUE(s.run({{0, 0}}) == 0 && gi.preflag == 1 && gi.scalefac_l[3] == 0);
    gi.window_switching_flag = 1, gi.block_type = 2, gi.mixed_block_flag = 1;
    EXPECT_EQ(s.run({{0, 0}}), 0);

    ic.scalefac_compress = 2 * 100, ic.preflag = 1;  // slen (2, 4, 4, 0) over 7, 7, 7 bands
    for (uint32_t b = 0; b < 21; ++b) s.put(b == 20 ? 9 : 1, b < 7 ? 2 : 4);
    EXPECT_TRUE(s.run({{1, 0}}) == 7 * 2 + 7 * 4 + 7 * 4 && ic.preflag == 0 && ic.scalefac_l[20] == 9);
    for (uint32_t b = 0; b < 21; ++b) EXPECT_EQ(ic.intensityLimit[b], b < 7 ? 3u : 15u) << b;
    // Short block, t = 1: slen (0, 0, 1, 0) over 12, 9, 9, 6 values: only bands 7..9 have bits.
    ic.window_switching_flag = 1, ic.block_type = 2, ic.scalefac_compress = 2 * 181;
    EXPECT_EQ(s.run({{1, 0}}), 9);
    for (uint32_t b = 0; b < 12; ++b) EXPECT_EQ(ic.intensityLimit[b], b >= 7 && b <= 9 ? 1u : 0u) << b;
}

}  // namespace
}  // namespace qw
