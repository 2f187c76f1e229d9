#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "layer3/SideInfo.h"
#include "mpeg/FrameHeader.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// A Layer III header (version bits 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5) and its side information
// fields ("value/width" tokens separated by spaces), packed most significant bit first.
struct Frame {
    Frame(uint32_t versionBits, uint32_t mode, const char* fields = "")
        : stream(pack(versionBits, mode, fields)), header(&stream) {
        EXPECT_EQ(header.readNextFrame(), 0u);
        readSideInfo(header, si);
    }
    static std::vector<uint8_t> pack(uint32_t versionBits, uint32_t mode, const char* fields) {
        std::vector<uint8_t> bytes(4 + 32);
        uint32_t n = 0, value, width;
        std::istringstream in(std::to_string(0xFFE39000u | versionBits << 19 | mode << 6) + "/32 " + fields);
        char slash;
        while (in >> value >> slash >> width)
            for (uint32_t b = width; b-- > 0; ++n) bytes[n / 8] |= uint8_t(((value >> b) & 1) << (7 - n % 8));
        return bytes;
    }
    test::MemoryStream stream;
    FrameHeader header;
    SideInfo si{};
};

TEST(Layer3SideInfo, ReadsFieldsAndDerivesRegionCounts) {
    // Bits consumed: MPEG-1 stereo and mono, MPEG-2 stereo, MPEG-2.5 mono.
    EXPECT_EQ(Frame(3, 1).stream.bitPosition(), 256u);
    EXPECT_EQ(Frame(3, 3).stream.bitPosition(), 136u);
    EXPECT_EQ(Frame(2, 0).stream.bitPosition(), 136u);
    EXPECT_EQ(Frame(0, 3).stream.bitPosition(), 72u);

    Frame mpeg1(3, 3,  // MPEG-1 mono; granule 0 a pure short block, granule 1 a stop block
                "300/9 0/5 9/4 "
                "1234/12 100/9 210/8 15/4 1/1 2/2 0/1 5/5 7/5 1/3 2/3 3/3 1/1 1/1 1/1 "
                "99/12 288/9 1/8 0/4 1/1 3/2 0/1 31/5 30/5 0/3 0/3 7/3 0/1 0/1 0/1");
    const GranuleInfo &g0 = mpeg1.si.granule[0][0], &g1 = mpeg1.si.granule[1][0];
    EXPECT_EQ(g0.region0_count, 8u);
    EXPECT_EQ(g0.region1_count, 12u);
    EXPECT_EQ(g1.region0_count, 7u);
    EXPECT_EQ(g1.region1_count, 13u);
    EXPECT_EQ(mpeg1.si.scfsi[0][3], 1u);
    EXPECT_EQ(g0.subblock_gain[2], 3u);
    EXPECT_EQ(g1.big_values, 288u);
    EXPECT_EQ(g1.block_type, 3u);
}

TEST(Layer3SideInfo, CheckRejectsOutOfRangeFields) {
    Frame joint(3, 1);
    SideInfo si{};
    EXPECT_TRUE(checkSideInfo(si, joint.header, true));
    EXPECT_FALSE((si.granule[1][1].big_values = 289, checkSideInfo(si, joint.header, false)));
    EXPECT_FALSE((si.granule[1][1].big_values = 288, si.main_data_begin = 512, checkSideInfo(si, joint.header, false)));
    si.main_data_begin = 511, si.granule[0][0].window_switching_flag = 1;  // with block_type 0
    EXPECT_FALSE(checkSideInfo(si, joint.header, false));

    // A long and a short block in one granule: rejected only when asked to, and only in joint stereo.
    si.granule[0][0].window_switching_flag = 0, si.granule[0][1].window_switching_flag = 1;
    si.granule[0][1].block_type = 2;
    EXPECT_FALSE(checkSideInfo(si, joint.header, true));
    EXPECT_TRUE(checkSideInfo(si, joint.header, false));
    EXPECT_TRUE(checkSideInfo(si, Frame(3, 0).header, true));

    si = {}, si.granule[1][0].big_values = 400;  // MPEG-2 has one granule: granule 1 is not looked at

    EXPECT_TRUE(checkSideInfo(si, Frame(2, 1).header, true));
}

}  // namespace
}  // namespace qw
