#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "layer3/BandTables.h"
#include "layer3/HuffmanDecoder.h"
#include "layer3/HuffmanTables.h"
#include "layer3/Layer3Policy.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

// Every root-to-leaf path of a tree (leaf value -> codeword).  Fails on a
// value reached twice, a jump out of range or an entry visited twice.
struct TreeScan {
    std::map<int, std::string> codeOf;
    std::vector<int> visits = std::vector<int>(512, 0);
    bool ok = true;
    explicit TreeScan(const int16_t* tree) { scan(tree, 0, ""); }
    void scan(const int16_t* tree, uint32_t k, const std::string& code) {
        if (k >= visits.size() || visits[k]++) {
            ok = false;
        } else if (tree[k] >= 0) {
            ok = codeOf.emplace(tree[k], code).second && ok;
        } else {
            scan(tree, k + 1, code + "0");
            scan(tree, k + 1 + uint32_t(-tree[k]), code + "1");
        }
    }
    // The visited entries form one run from 0: the tree has no holes.
    uint32_t entries() const { return uint32_t(std::find(visits.begin(), visits.end(), 0) - visits.begin()); }
};

TEST(HuffmanTables, TreesAreCompleteCodesOfThePublishedWords) {
    const uint32_t sizes[32] = {0, 2, 3, 3, 0, 4, 4, 6, 6, 6, 8, 8, 8, 16, 0, 16, 16, 0, 0, 0, 0, 0, 0, 0, 16};
    const uint32_t linbits[32] = {0, 0, 0, 0, 0, 0, 0,  0,  0, 0, 0, 0, 0, 0, 0,  0,
                                  1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (uint32_t t = 0; t < 32; ++t) {
        EXPECT_EQ(huffmanTables[t].linbits, linbits[t]) << t;
        EXPECT_EQ(huffmanTables[t].tree, huffmanTables[t <= 16 ? t : t < 24 ? 16 : 24].tree) << t;
        if (!sizes[t]) continue;
        TreeScan s(huffmanTables[t].tree);
        const uint32_t n = sizes[t] * sizes[t];
        EXPECT_TRUE(s.ok && s.codeOf.size() == n && s.entries() == 2 * n - 1) << "table " << t;
        for (uint32_t xy = 0; xy < n; ++xy) EXPECT_EQ(s.codeOf.count(int(xy / sizes[t] << 4 | xy % sizes[t])), 1u) << t;
    }
    EXPECT_EQ(TreeScan(huffmanTables[13].tree).codeOf[0x10], "011");
    EXPECT_EQ(TreeScan(huffmanTables[15].tree).codeOf[0xFF], "0000000000000");
    EXPECT_EQ(TreeScan(huffmanTables[16].tree).codeOf[0xF0], "000001100");
    EXPECT_EQ(TreeScan(huffmanTables[24].tree).codeOf[0xFF], "0011");
    for (uint32_t q = 0; q < 2; ++q) {
        TreeScan s(count1Tables[q]);
        EXPECT_TRUE(s.ok && s.codeOf.size() == 16 && s.entries() == 31);
        EXPECT_EQ(s.codeOf[0], q ? "1111" : "1");
        EXPECT_EQ(s.codeOf[11], q ? "0100" : "000000");
    }
}

template <class Policy = QualityPolicy>
struct Decoded {
    uint16_t magnitudes[576];
    typename Policy::Sample signs[576];
    HuffmanResult result{};
    int32_t status = 0;
    int32_t bitPosition = 0;

    // Decodes the bits (a string of 0 and 1; spaces ignored) that follow
    // `part2` bits of scale factors, on a band row of the given version.
    Decoded(const GranuleInfo& gi, const std::string& bits, uint32_t part2 = 0, uint32_t row = 0) {
        std::vector<uint8_t> bytes(64, 0);
        uint32_t n = part2;
        for (char c : bits) {
            if (c == ' ') continue;
            if (c == '1') bytes[n / 8] |= uint8_t(0x80 >> (n % 8));
            ++n;
        }
        test::MemoryStream stream(bytes);
        auto mainData = std::make_unique<MainDataBuffer>(&stream);
        mainData->load(uint32_t(bytes.size()), 0);
        mainData->bitPosition = int32_t(part2);
        std::fill(magnitudes, magnitudes + 576, uint16_t(999));  // must be overwritten
        std::fill(signs, signs + 576, typename Policy::Sample(7));
        status =
            decodeHuffman<Policy>(*mainData, gi, bandEdges[row], row / 3, int32_t(part2), magnitudes, signs, &result);
        bitPosition = mainData->bitPosition;
    }
    bool zeroFrom(uint32_t line) const {
        for (uint32_t i = line; i < 576; ++i) {
            if (magnitudes[i] != 0 || signs[i] != 0) return false;
        }
        return true;
    }
};

GranuleInfo granule(uint32_t bigValues, uint32_t part2_3_length, uint32_t table, uint32_t count1 = 0) {
    GranuleInfo gi{};
    gi.big_values = bigValues;
    gi.part2_3_length = part2_3_length;
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = table;
    gi.count1table_select = count1;
    return gi;
}

TEST(HuffmanDecoder, SignBitsFollowEachPairsCode) {
    // After 3 bits of scale factors: (0, 0), (+1, 0), (-1, +1) from table 1.
    Decoded d(granule(3, 3 + 9, 1), "1 010 00010", 3);
    EXPECT_EQ(std::vector<uint16_t>(d.magnitudes, d.magnitudes + 6), (std::vector<uint16_t>{0, 0, 1, 0, 1, 1}));
    EXPECT_EQ(std::vector<double>(d.signs, d.signs + 6), (std::vector<double>{0, 0, 1, 0, -1, 1}));
    EXPECT_EQ(d.result.lineCount, 6u);
    EXPECT_EQ(d.bitPosition, 15);
    EXPECT_TRUE(d.zeroFrom(6));

    // The same region overrunning a 5-bit granule-channel: decoded whole,
    // then its last four lines are dropped.
    Decoded overrun(granule(3, 5, 1), "1 010 00010");
    EXPECT_EQ(overrun.result.lineCount, 2u);
    EXPECT_EQ(overrun.bitPosition, 5);
    EXPECT_TRUE(overrun.zeroFrom(2));
}

TEST(HuffmanDecoder, QuadrupleRegion) {
    // Table A, v and x set: one sign bit each, in order.
    Decoded vx(granule(0, 7, 0, 0), "00110 1 0");
    EXPECT_EQ(std::vector<double>(vx.signs, vx.signs + 5), (std::vector<double>{-1, 0, 1, 0, 0}));

    // The second quadruple ends 3 bits past the end: dropped, y cleared.
    Decoded crossing(granule(0, 6, 0, 1), "1111 1110 1");
    EXPECT_EQ(crossing.result.lineCount, 4u);
    EXPECT_EQ(crossing.bitPosition, 6);
    EXPECT_TRUE(crossing.zeroFrom(0));

    // A quadruple from line 574 keeps two values and reads all four signs.
    Decoded last(granule(287, 8, 0, 1), "0000 1011");
    EXPECT_EQ(last.result.lineCount, 576u);
    EXPECT_EQ(last.signs[574], -1.0);
    EXPECT_EQ(last.signs[575], 1.0);
    Decoded lastOverrun(granule(287, 7, 0, 1), "0000 1011");
    EXPECT_EQ(lastOverrun.result.lineCount, 574u);  // 8 bits read, one too many
}

TEST(HuffmanDecoder, EscapeValues) {
    Decoded sixteen(granule(1, 11, 16), "000001100 1 0");
    EXPECT_EQ(sixteen.magnitudes[0] * sixteen.signs[0] + sixteen.magnitudes[1], 16.0);

    // 15 + 8191 = 8206, then a pair coded 1110 (1, 0) in the quality decoder.
    // The performance decoder zeroes the value, skips its sign bit and so
    // reads 1111, the pair (0, 0).
    const std::string bits = "00101011 1111111111111 1 1110 0";
    Decoded<QualityPolicy> quality(granule(2, 27, 31), bits);
    EXPECT_EQ(quality.status, 0);
    EXPECT_EQ(quality.magnitudes[0], 8206);
    EXPECT_EQ(quality.signs[0], -1.0);
    EXPECT_EQ(quality.magnitudes[2], 1);
    Decoded<PerformancePolicy> performance(granule(2, 27, 31), bits);
    EXPECT_EQ(performance.status, 1);
    EXPECT_EQ(performance.magnitudes[0], 0);
    EXPECT_EQ(performance.signs[0], 0.0f);
    EXPECT_EQ(performance.magnitudes[2], 0);
}

TEST(HuffmanDecoder, RegionBoundaries) {
    // 44.1 kHz: region 0 is lines 0..3, region 1 lines 4..7, region 2 on.
    GranuleInfo gi = granule(6, 4, 0);
    gi.table_select[1] = 1;
    Decoded regions(gi, "010 1");
    EXPECT_EQ(regions.result.lineCount, 12u);
    EXPECT_EQ(regions.magnitudes[4], 1);
    EXPECT_EQ(regions.bitPosition, 4);

    // 15 + 7 + 2 = 24 picks short boundary 1 (line 4) as the start of region
    // 2, which the walk passes before region 1 starts at line 162.
    gi = granule(82, 7, 1);
    gi.table_select[2] = 0;
    gi.region0_count = 15;
    gi.region1_count = 7;
    Decoded quirk(gi, "010 1 011");
    EXPECT_EQ(quirk.result.lineCount, 164u);
    EXPECT_EQ(quirk.signs[0], 1.0);
    EXPECT_EQ(quirk.signs[162], -1.0);
    EXPECT_EQ(quirk.magnitudes[4] + quirk.magnitudes[160], 0);

    // Short blocks at 48 kHz: region 1 from line 36 (42 when mixed); the
    // lower sampling frequencies use long boundary 6.
    gi = granule(19, 3, 0);
    gi.window_switching_flag = 1;
    gi.block_type = 2;
    gi.table_select[1] = 1;
    Decoded pure(gi, "010", 0, 1);
    EXPECT_EQ(pure.result.region1Start, 36u);
    EXPECT_EQ(pure.magnitudes[36], 1);
    gi.mixed_block_flag = 1;
    EXPECT_EQ(Decoded(gi, "", 0, 1).result.region1Start, 42u);
    EXPECT_EQ(Decoded(gi, "", 0, 4).result.region1Start, 36u);
    EXPECT_EQ(Decoded(granule(0, 0, 0), "", 0, 0).result.region1Start, 44u);
}

}  // namespace
}  // namespace qw
