#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "layer3/SideInfo.h"
#include "mpeg/FrameHeader.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// A Layer III header (version bits 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5) and its
// side information fields, packed most significant bit first.
struct Frame {
    // fields: "value/width" tokens separated by spaces.
    Frame(uint32_t versionBits, uint32_t mode, const char* fields = "")
        : stream(pack(versionBits, mode, fields)), header(&stream) {
        EXPECT_EQ(header.readNextFrame(), 0u);
        readSideInfo(header, si);
    }
    static std::vector<uint8_t> pack(uint32_t versionBits, uint32_t mode, const char* fields) {
        std::vector<uint8_t> bytes = {0xFF, uint8_t(0xE3 | versionBits << 3), 0x90, uint8_t(mode << 6)};
        bytes.resize(4 + 32);
        uint32_t n = 32, value, width;
        std::istringstream in(fields);
        char slash;
        while (in >> value >> slash >> width) {
            for (uint32_t b = width; b-- > 0; ++n) bytes[n / 8] |= uint8_t(((value >> b) & 1) << (7 - n % 8));
        }
        return bytes;
    }
    test::MemoryStream stream;
    FrameHeader header;
    SideInfo si{};
};

TEST(Layer3SideInfo, ConsumesTheBitsOfEachLayout) {
    EXPECT_EQ(Frame(3, 1).stream.bitPosition(), 256u);  // MPEG-1 stereo
    EXPECT_EQ(Frame(3, 3).stream.bitPosition(), 136u);  // MPEG-1 mono
    EXPECT_EQ(Frame(2, 0).stream.bitPosition(), 136u);  // MPEG-2 stereo
    EXPECT_EQ(Frame(0, 3).stream.bitPosition(), 72u);   // MPEG-2.5 mono
}

TEST(Layer3SideInfo, ReadsFieldsAndDerivesRegionCounts) {
    // MPEG-1 mono; granule 0 a pure short block, granule 1 a stop block.
    Frame mpeg1(3, 3,
                "300/9 0/5 9/4 "
                "1234/12 100/9 210/8 15/4 1/1 2/2 0/1 5/5 7/5 1/3 2/3 3/3 1/1 1/1 1/1 "
                "99/12 288/9 1/8 0/4 1/1 3/2 0/1 31/5 30/5 0/3 0/3 7/3 0/1 0/1 0/1");
    const SideInfo& si = mpeg1.si;
    EXPECT_EQ(si.main_data_begin, 300u);
    EXPECT_EQ(si.scfsi[0][0] * 8 + si.scfsi[0][1] * 4 + si.scfsi[0][2] * 2 + si.scfsi[0][3], 0b1001u);
    const GranuleInfo& g0 = si.granule[0][0];
    EXPECT_EQ(g0.part2_3_length, 1234u);
    EXPECT_EQ(g0.table_select[1], 7u);
    EXPECT_EQ(g0.subblock_gain[2], 3u);
    EXPECT_EQ(g0.region0_count, 8u);
    EXPECT_EQ(g0.region1_count, 12u);
    EXPECT_EQ(g0.preflag + g0.scalefac_scale + g0.count1table_select, 3u);
    const GranuleInfo& g1 = si.granule[1][0];
    EXPECT_EQ(g1.big_values, 288u);
    EXPECT_EQ(g1.block_type, 3u);
    EXPECT_EQ(g1.region0_count, 7u);
    EXPECT_EQ(g1.region1_count, 13u);

    // Lower sampling frequencies: 9-bit scalefac_compress, no preflag bit.
    Frame lsf(2, 3, "255/8 1/1 4095/12 17/9 255/8 500/9 0/1 16/5 24/5 1/5 15/4 7/3 1/1 0/1");
    const GranuleInfo& g = lsf.si.granule[0][0];
    EXPECT_EQ(g.scalefac_compress, 500u);
    EXPECT_EQ(g.region1_count, 7u);
    EXPECT_EQ(g.count1table_select, 0u);
}

TEST(Layer3SideInfo, CheckRejectsOutOfRangeFields) {
    Frame joint(3, 1);
    SideInfo si{};
    EXPECT_TRUE(checkSideInfo(si, joint.header, true));
    si.granule[1][1].big_values = 289;
    EXPECT_FALSE(checkSideInfo(si, joint.header, false));
    si.granule[1][1].big_values = 288;
    si.main_data_begin = 512;
    EXPECT_FALSE(checkSideInfo(si, joint.header, false));
    si.main_data_begin = 511;
    si.granule[0][0].window_switching_flag = 1;  // with block_type 0
    EXPECT_FALSE(checkSideInfo(si, joint.header, false));
    si.granule[0][0].window_switching_flag = 0;

    // A long and a short block in one joint-stereo granule.
    si.granule[0][1].window_switching_flag = 1;
    si.granule[0][1].block_type = 2;
    EXPECT_FALSE(checkSideInfo(si, joint.header, true));
    EXPECT_TRUE(checkSideInfo(si, joint.header, false));
    EXPECT_TRUE(checkSideInfo(si, Frame(3, 0).header, true));

    // One granule in MPEG-2: granule 1 is not looked at.
    SideInfo lsf{};
    lsf.granule[1][0].big_values = 400;
    EXPECT_TRUE(checkSideInfo(lsf, Frame(2, 1).header, true));
}

}  // namespace
}  // namespace qw
