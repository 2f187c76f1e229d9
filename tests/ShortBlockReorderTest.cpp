#include <gtest/gtest.h>

#include <vector>

#include "layer3/BandTables.h"
#include "layer3/SideInfo.h"
#include "synthesis/ShortBlockReorder.h"

namespace qw {
namespace {

// Mixed blocks are not decoded: whatever their lines hold, they come out silent.
TEST(ShortBlockReorder, MixedBlocksComeOutSilent) {
    GranuleInfo info{};
    info.window_switching_flag = 1, info.block_type = 2, info.mixed_block_flag = 1;
    const std::vector<float> in(576, 3.5f);
    std::vector<float> out(576, -1.0f);
    reorderShortBlocks<float>(info, bandEdges[4] + longEdgeCount, in.data(), out.data());
    EXPECT_EQ(out, std::vector<float>(576, 0.0f));
}

}  // namespace
}  // namespace qw
