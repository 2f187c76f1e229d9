#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "layer3/BandTables.h"
#include "layer3/HuffmanDecoder.h"
#include "layer3/HuffmanTables.h"
#include "layer3/Layer3Policy.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

GranuleInfo granule(uint32_t bigValues, uint32_t part2_3_length, uint32_t table, uint32_t count1 = 0) {
    GranuleInfo gi{};
    gi.big_values = bigValues, gi.part2_3_length = part2_3_length, gi.count1table_select = count1;
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = table;
    return gi;
}

// Decodes the bits (0s and 1s, spaces ignored) on a band row; every output line starts out as garbage.
template <class Policy = QualityPolicy>
struct Decoded {
    uint16_t magnitudes[576];
    typename Policy::Sample signs[576];
    HuffmanResult result{};
    int32_t status = 0, bitPosition = 0;
    Decoded(const GranuleInfo& gi, const std::string& bits, uint32_t row = 0) {
        std::vector<uint8_t> bytes(64, 0);
        uint32_t n = 0;
        for (char c : bits) {
            if (c != ' ') bytes[n / 8] |= uint8_t((c == '1') << (7 - n % 8)), ++n;
        }
        test::MemoryStream stream(bytes);
        MainDataBuffer mainData(&stream);
        mainData.load(uint32_t(bytes.size()), 0);
        std::fill_n(magnitudes, 576, 999), std::fill_n(signs, 576, 7);
        status = decodeHuffman<Policy>(mainData, gi, bandEdges[row], row / 3, 0, magnitudes, signs, &result);
        bitPosition = mainData.bitPosition;
    }
};

// Decoding that runs past the granule's bits loses its last four lines: every line from lineCount on is cleared, and
// the reader is left at the granule's end.
TEST(HuffmanDecoder, StopsAtTheGranuleEnd) {
    const Decoded d(granule(3, 5, 1), "1 010 00010");  // (0, 0), (+1, 0), (-1, +1): the last four lines go
    EXPECT_EQ(d.result.lineCount, 2u);
    EXPECT_EQ(d.bitPosition, 5);
    for (uint32_t i = 2; i < 576; ++i) ASSERT_TRUE(d.magnitudes[i] == 0 && d.signs[i] == 0) << i;
    // 287 pairs of table 0 take no bits; the quadruple at line 574 (-1, 0 | 0, 0) keeps two lines, or goes.
    const Decoded kept(granule(287, 5, 0, 1), "0111 1"), lost(granule(287, 4, 0, 1), "0111 1");
    EXPECT_EQ(std::make_tuple(kept.result.lineCount, kept.signs[574], lost.result.lineCount, lost.magnitudes[574]),
              std::make_tuple(576u, -1.0, 574u, uint16_t(0)));
}

// Every code word of every tree, the bits of its path from the root, as the pair (or quadruple) its leaf holds.
void collectCodeWords(const int16_t* tree, uint32_t k, const std::string& path,
                      std::vector<std::pair<std::string, int16_t>>* words) {
    if (tree[k] >= 0) {
        words->emplace_back(path, tree[k]);
        return;
    }
    collectCodeWords(tree, k + 1, path + "0", words);
    collectCodeWords(tree, k + 1 + uint32_t(-tree[k]), path + "1", words);
}

// Each code word alone, with its escape bits (all ones) and sign bits (x negative), in a granule of exactly its length:
// the decoder must give the leaf's values and take exactly those bits, neither leaving any for a quadruple nor reading
// past the end (both would change lineCount).
TEST(HuffmanDecoder, EveryCodeWordTakesExactlyItsBits) {
    size_t checked = 0;
    for (uint32_t table = 0; table < 34; ++table) {
        const bool quadruple = table >= 32;
        const int16_t* tree = quadruple ? count1Tables[table - 32] : huffmanTables[table].tree;
        const uint32_t linbits = quadruple ? 0 : huffmanTables[table].linbits;
        std::vector<std::pair<std::string, int16_t>> words;
        collectCodeWords(tree, 0, "", &words);
        const uint32_t lines = quadruple ? 4 : 2;
        for (const auto& [code, leaf] : words) {
            std::string bits = code;
            uint32_t expected[4] = {0, 0, 0, 0};
            for (uint32_t v = 0; v < lines; ++v) {
                uint32_t value = (uint32_t(leaf) >> (quadruple ? 3 - v : 4 - 4 * v)) & (quadruple ? 1 : 15);
                if (value == 15 && linbits) bits += std::string(linbits, '1'), value += (1u << linbits) - 1;
                if (value) bits += v == 0 ? "1" : "0";
                expected[v] = value;
            }
            const GranuleInfo gi =
                quadruple ? granule(0, uint32_t(bits.size()), 0, table - 32) : granule(1, uint32_t(bits.size()), table);
            const Decoded d(gi, bits);
            ASSERT_EQ(d.result.lineCount, lines) << "table " << table << " code " << code;
            for (uint32_t v = 0; v < lines; ++v) {
                ASSERT_EQ(d.magnitudes[v], expected[v]) << "table " << table << " code " << code << " value " << v;
                ASSERT_EQ(d.signs[v], expected[v] == 0 ? 0.0 : v == 0 ? -1.0 : 1.0) << "table " << table << " " << code;
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 2000u);
}

// 15 + 8191 = 8206 lies beyond the performance decoder's power table: it zeroes the value, skips its sign bit, reads
// 1111, (0, 0), and rejects the granule.
TEST(HuffmanDecoder, PerformanceDecoderRejectsLargeEscapes) {
    Decoded<PerformancePolicy> p(granule(2, 27, 31), "00101011 1111111111111 1 1110 0");
    EXPECT_EQ(std::make_tuple(p.status, p.magnitudes[0], p.signs[0], p.magnitudes[2]),
              std::make_tuple(1, uint16_t(0), 0.0f, uint16_t(0)));
}

TEST(HuffmanDecoder, RegionBoundaries) {
    // 15 + 7 + 2 = 24 picks short boundary 1 (line 4) as the start of region
    // 2 (table 0), which the walk passes before region 1 starts at line 162.
    GranuleInfo gi = granule(82, 7, 1);
    gi.table_select[2] = 0;
    gi.region0_count = 15, gi.region1_count = 7;
    Decoded quirk(gi, "010 1 011");
    EXPECT_EQ(quirk.result.lineCount, 164u);
    EXPECT_EQ(quirk.signs[0], 1.0);
    EXPECT_EQ(quirk.signs[162], -1.0);
    EXPECT_EQ(quirk.magnitudes[4] + quirk.magnitudes[160], 0);

    // Mixed blocks at 48 kHz: region 1 from line 42, as for long blocks.
    gi = granule(0, 0, 0);
    gi.window_switching_flag = 1, gi.block_type = 2, gi.mixed_block_flag = 1;
    EXPECT_EQ(Decoded(gi, "", 1).result.region1Start, 42u);
}

}  // namespace
}  // namespace qw
