#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "layer3/BandTables.h"
#include "layer3/SideInfo.h"
#include "synthesis/ShortBlockReorder.h"

namespace qw {
namespace {

GranuleInfo block(uint32_t type) {  // 4: a mixed block
    GranuleInfo info{};
    info.window_switching_flag = type != 0, info.block_type = type == 4 ? 2 : type, info.mixed_block_flag = type == 4;
    return info;
}

// Short blocks move window by window within each band; every value lands
// exactly once.  Long blocks are copied, mixed blocks come out silent.
TEST(ShortBlockReorder, InterleavesWindowsBandByBand) {
    std::vector<double> in(576), out(576, -1.0);
    for (uint32_t i = 0; i < 576; ++i) in[i] = i + 1.0;
    reorderShortBlocks<double>(block(2), bandEdges[0] + longEdgeCount, in.data(), out.data());  // 44.1 kHz
    // Band 11 (from 106, 30 wide) window 1 line 3; band 12's first line in window 1 and last in window 2.
    EXPECT_EQ(out[3 * 106 + 9 + 1], in[3 * 106 + 30 + 3]);
    EXPECT_EQ(out[3 * 136 + 1], in[3 * 136 + 56]);
    EXPECT_EQ(out[575], 576);
    EXPECT_TRUE(std::is_permutation(out.begin(), out.end(), in.begin()));

    const std::vector<float> value(576, 3.5f);
    for (uint32_t type : {0u, 1u, 3u, 4u}) {
        std::vector<float> copy(576, -1.0f);
        reorderShortBlocks<float>(block(type), bandEdges[4] + longEdgeCount, value.data(), copy.data());
        EXPECT_EQ(copy, std::vector<float>(576, type == 4 ? 0.0f : 3.5f)) << type;
    }
}

}  // namespace
}  // namespace qw
