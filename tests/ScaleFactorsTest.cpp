#include <gtest/gtest.h>

#include <memory>
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
    // Loads the written bytes and reads each (channel, granule) in turn.
    void run(std::initializer_list<std::pair<uint32_t, uint32_t>> order) {
        dataStream = std::make_unique<test::MemoryStream>(bytes);
        mainData = std::make_unique<MainDataBuffer>(dataStream.get());
        mainData->load(uint32_t(bytes.size()), 0);
        for (auto [channel, granule] : order) EXPECT_EQ(readScaleFactors(*mainData, si, header, channel, granule), 0);
    }
    test::MemoryStream headerStream;
    FrameHeader header;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64, 0);
    uint32_t bits = 0;
    std::unique_ptr<test::MemoryStream> dataStream;
    std::unique_ptr<MainDataBuffer> mainData;
    SideInfo si{};
};

TEST(ScaleFactors, Mpeg1GranuleOneSharesGroupsByScfsi) {
    Stage s(3, 0);
    s.si.granule[0][1].scalefac_compress = s.si.granule[1][1].scalefac_compress = 15;  // slen 4 and 3
    const uint32_t scfsi[4] = {1, 0, 0, 1};
    std::copy(scfsi, scfsi + 4, s.si.scfsi[1]);
    for (uint32_t b = 0; b < 21; ++b) s.put(b % 8, b < 11 ? 4 : 3);
    for (uint32_t b = 6; b < 16; ++b) s.put(7 - b % 8, b < 11 ? 4 : 3);  // granule 1 reads bands 6..15 only
    s.run({{1, 0}, {1, 1}});
    EXPECT_EQ(s.mainData->bitPosition, 11 * 4 + 10 * 3 + 35);
    const uint32_t* g1 = s.si.granule[1][1].scalefac_l;
    for (uint32_t b = 0; b < 21; ++b) EXPECT_EQ(g1[b], b < 6 || b >= 16 ? b % 8 : 7 - b % 8) << "band " << b;
    EXPECT_EQ(g1[21], 0u);
}

TEST(ScaleFactors, Mpeg1ShortAndMixedBlocks) {
    Stage s(3, 0);
    GranuleInfo& gi = s.si.granule[0][0];
    gi.scalefac_compress = 15;
    gi.window_switching_flag = 1, gi.block_type = 2;
    gi.scalefac_s[12][1] = 9;
    for (uint32_t i = 0; i < 36; ++i) s.put(i % 7 + 1, i < 18 ? 4 : 3);
    s.run({{0, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 126);
    EXPECT_EQ(gi.scalefac_s[5][2], 17 % 7 + 1u);
    EXPECT_EQ(gi.scalefac_s[11][2], 35 % 7 + 1u);
    EXPECT_EQ(gi.scalefac_s[12][1], 0u);

    // Mixed: 8 long bands and short bands 3..5 with slen1, 6..11 with slen2.
    gi.mixed_block_flag = 1;
    gi.scalefac_compress = 5;  // slen 1 and 1
    s.run({{0, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 8 + 9 + 18);
}

TEST(ScaleFactors, LowerRatePartitions) {
    Stage s(2, 0);
    GranuleInfo& gi = s.si.granule[0][0];
    s.put(0xFFFFFF, 24);
    gi.scalefac_compress = 500;  // slen (0, 0, 0, 0) and preflag
    gi.scalefac_l[3] = 7;
    s.run({{0, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 0);
    EXPECT_EQ(gi.preflag, 1u);
    EXPECT_EQ(gi.scalefac_l[3], 0u);

    gi.scalefac_compress = 4 * 80 + 2 * 16 + 3 * 4 + 1;  // slen (4, 2, 3, 1) over 6, 5, 5, 5 bands
    s.run({{0, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 6 * 4 + 5 * 2 + 5 * 3 + 5 * 1);
    EXPECT_EQ(gi.preflag, 0u);
    EXPECT_EQ(gi.scalefac_l[0], 15u);
    EXPECT_EQ(gi.scalefac_l[22], 0u);

    gi.window_switching_flag = 1, gi.block_type = 2, gi.mixed_block_flag = 1;
    s.run({{0, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 0) << "a mixed block reads nothing";
}

TEST(ScaleFactors, IntensityChannelRecordsLimits) {
    Stage s(2, 1);
    GranuleInfo& gi = s.si.granule[0][1];
    gi.scalefac_compress = 2 * 100;  // slen (2, 4, 4, 0) over 7, 7, 7 bands
    gi.preflag = 1;
    for (uint32_t b = 0; b < 21; ++b) s.put(b == 20 ? 9 : 1, b < 7 ? 2 : 4);
    s.run({{1, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 7 * 2 + 7 * 4 + 7 * 4);
    EXPECT_EQ(gi.preflag, 0u);
    EXPECT_EQ(gi.scalefac_l[20], 9u);
    for (uint32_t b = 0; b < 21; ++b) EXPECT_EQ(gi.intensityLimit[b], b < 7 ? 3u : 15u) << "band " << b;

    // Short block, t = 1: slen (0, 0, 1, 0) over 12, 9, 9, 6 values, so only
    // bands 7..9 have bits.
    gi.window_switching_flag = 1, gi.block_type = 2;
    gi.scalefac_compress = 2 * 181;
    s.run({{1, 0}});
    EXPECT_EQ(s.mainData->bitPosition, 9);
    for (uint32_t b = 0; b < 12; ++b) EXPECT_EQ(gi.intensityLimit[b], b >= 7 && b <= 9 ? 1u : 0u) << "band " << b;
}

}  // namespace
}  // namespace qw
