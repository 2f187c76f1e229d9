#include <gtest/gtest.h>

#include <vector>

#include "layer3/SideInfo.h"
#include "mpeg/FrameHeader.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// A Layer III frame header (version bits 3 MPEG-1, 2 MPEG-2) of the given mode.
struct Frame {
    Frame(uint32_t versionBits, uint32_t mode)
        : stream({0xFF, uint8_t(0xE3 | versionBits << 3), 0x90, uint8_t(mode << 6)}), header(&stream) {
        EXPECT_EQ(header.readNextFrame(), 0u);
    }
    test::MemoryStream stream;
    FrameHeader header;
};

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
