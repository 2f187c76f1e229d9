// The Huffman-coded spectrum that follows the scale factors: big-value pairs, coded with
// up to three tables over the regions of the spectrum, then the quadruples
// of values 0 and 1 until the granule-channel's bits run out.
#include "layer3/HuffmanDecoder.h"

#include <algorithm>

#include "layer3/BandTables.h"
#include "layer3/HuffmanTables.h"
#include "layer3/Layer3Policy.h"

namespace qw {

namespace {

// The most bits a big-value pair takes: the longest code word (19 bits, table
// 13), or a 17-bit code word of the escape tables and, for each value, 13
// escape bits and a sign bit.  A quadruple takes at most 6 + 4.
constexpr uint32_t pairBits = 47;
constexpr uint32_t quadrupleBits = 10;
static_assert(pairBits <= MainDataCursor::reservable, "a pair's bits fit one refill");

// A code word's first bits, read at once, index a table built from the tree:
// each entry holds what the tree walk reaches after those bits, a leaf with
// its code word's length, or, for longer code words, the inner node the walk
// stands on after all of them.  The walk then goes on one bit at a time from
// there.  Either way the same bits are taken and the same leaf is reached.
// Eight bits cover most pair code words; the quadruple code words have at
// most six.
constexpr uint32_t pairLookupBits = 8;
constexpr uint32_t quadrupleLookupBits = 6;
static_assert(pairLookupBits <= pairBits && quadrupleLookupBits <= quadrupleBits, "a look-up reads reserved bits");

struct LookupEntry {
    int16_t node;   // a leaf (>= 0), or minus the index of the inner node to walk on from
    uint16_t bits;  // bits the entry takes
};

// Walks the tree over the lookupBits bits of pattern, most significant first.
LookupEntry lookupEntry(const int16_t* tree, uint32_t pattern, uint32_t lookupBits) {
    uint32_t k = 0;
    uint16_t taken = 0;
    while (tree[k] < 0) {
        if (taken == lookupBits) return {int16_t(-int32_t(k)), taken};
        const uint32_t bit = (pattern >> (lookupBits - 1 - taken)) & 1;
        k += 1 + (uint32_t(-tree[k]) & (0u - bit));
        ++taken;
    }
    return {tree[k], taken};
}

// The look-up tables of every tree, built once.  Tables that share a tree
// (16 to 23, 24 to 31, and the empty ones) share its look-up table.
struct HuffmanLookup {
    LookupEntry pairs[32][1 << pairLookupBits];
    LookupEntry quadruples[2][1 << quadrupleLookupBits];
    const LookupEntry* bySelect[32];

    HuffmanLookup() {
        for (uint32_t select = 0; select < 32; ++select) {
            bySelect[select] = pairs[select];
            for (uint32_t earlier = 0; earlier < select; ++earlier) {
                if (huffmanTables[earlier].tree == huffmanTables[select].tree) bySelect[select] = pairs[earlier];
            }
            for (uint32_t p = 0; p < (1u << pairLookupBits); ++p)
                pairs[select][p] = lookupEntry(huffmanTables[select].tree, p, pairLookupBits);
        }
        for (uint32_t t = 0; t < 2; ++t) {
            for (uint32_t p = 0; p < (1u << quadrupleLookupBits); ++p)
                quadruples[t][p] = lookupEntry(count1Tables[t], p, quadrupleLookupBits);
        }
    }
};

const HuffmanLookup& huffmanLookup() {
    static const HuffmanLookup lookup;
    return lookup;
}

// One code word: the look-up, then, past its bits, the rest of the walk.
// Every tree is a complete code, so any bit sequence reaches a leaf.  The
// walk's step is picked with a mask, not a branch: a branch on the bit would
// be mispredicted half the time.
template <uint32_t lookupBits>
inline int32_t decodeCodeWord(MainDataCursor& bits, const LookupEntry* lookup, const int16_t* tree) {
    const LookupEntry entry = lookup[bits.peek(lookupBits)];
    bits.skip(entry.bits);
    int32_t node = entry.node;
    if (node >= 0) return node;
    uint32_t k = uint32_t(-node);
    node = tree[k];
    while (node < 0) {
        k += 1 + (uint32_t(-node) & (0u - bits.bit()));
        node = tree[k];
    }
    return node;
}

// One value of a big-value pair: escape bits when the table has them and the
// code says 15, then a sign bit when the value is nonzero.  The sign factor
// is 0, +1 or -1, worked out without a branch on the value.
template <class Policy>
inline void decodeValue(MainDataCursor& bits, uint32_t value, uint32_t linbits, uint16_t& magnitude,
                        typename Policy::Sample& sign, int32_t& status) {
    using Sample = typename Policy::Sample;
    if (value == 15 && linbits) value += bits.bits(linbits);
    if (Policy::rejectLargeEscapes && value >= Policy::pow43Size) {
        // Beyond this decoder's power table: silenced, the frame is rejected.
        magnitude = 0;
        sign = Sample(0);
        status = 1;
        return;
    }
    const uint32_t nonzero = value != 0;
    const uint32_t negative = bits.bitIf(nonzero);
    magnitude = uint16_t(value);
    sign = Sample(int32_t(nonzero) - 2 * int32_t(negative));
}

}  // namespace

template <class Policy>
int32_t decodeHuffman(MainDataBuffer& mainData, const GranuleInfo& info, const uint16_t* bandEdgeRow,
                      uint32_t versionIndex, int32_t part2Start, uint16_t* magnitudes, typename Policy::Sample* signs,
                      HuffmanResult* result) {
    using Sample = typename Policy::Sample;
    constexpr uint32_t edgeCount = longEdgeCount + shortEdgeCount;
    const int32_t end = part2Start + int32_t(info.part2_3_length);
    int32_t status = 0;

    // Where region 1 of a short block starts; the stereo and reorder stages
    // use it for every block type.
    uint32_t region1Start;
    if (versionIndex != 0) {
        region1Start = bandEdgeRow[6];
    } else if (info.block_type == 2 && !info.mixed_block_flag) {
        region1Start = bandEdgeRow[8];
    } else {
        region1Start = bandEdgeRow[9];
    }
    result->region1Start = region1Start;

    // Region boundaries.  The counts index the row as one list of long then
    // short boundaries, so a sum past the long ones lands on a short boundary.
    uint32_t r1 = region1Start;
    uint32_t r2 = 576;
    if (!info.isShortBlock()) {
        r1 = bandEdgeRow[std::min(info.region0_count + 1, edgeCount - 1)];
        r2 = bandEdgeRow[std::min(info.region0_count + info.region1_count + 2, edgeCount - 1)];
    }

    // Big values: runs to 2 * big_values whatever part2_3_length says.
    MainDataCursor bits(mainData);
    uint32_t i = 0;
    const uint32_t bigEnd = 2 * std::min<uint32_t>(info.big_values, 288);
    const HuffmanLookup& lookup = huffmanLookup();
    uint32_t select = info.table_select[0] & 31;
    while (i < bigEnd) {
        if (i == r1) select = info.table_select[1] & 31;
        if (i == r2) select = info.table_select[2] & 31;
        const HuffmanTable* table = &huffmanTables[select];
        bits.reserve(pairBits);
        const int32_t pair = decodeCodeWord<pairLookupBits>(bits, lookup.bySelect[select], table->tree);
        decodeValue<Policy>(bits, uint32_t(pair) >> 4, table->linbits, magnitudes[i], signs[i], status);
        decodeValue<Policy>(bits, uint32_t(pair) & 15, table->linbits, magnitudes[i + 1], signs[i + 1], status);
        i += 2;
    }

    // Quadruples of 0 and 1 while bits remain.  A quadruple started at line
    // 574 still reads the sign bits of its last two values, which have no
    // line to go to.
    const uint32_t quadTable = info.count1table_select & 1;
    while (bits.position() < end && i < 576) {
        bits.reserve(quadrupleBits);
        const uint32_t quad =
            uint32_t(decodeCodeWord<quadrupleLookupBits>(bits, lookup.quadruples[quadTable], count1Tables[quadTable]));
        for (uint32_t k = 0; k < 4; ++k) {
            const uint32_t line = i + k;
            const uint32_t set = (quad >> (3 - k)) & 1;
            const uint32_t negative = bits.bitIf(set);
            if (line < 576) {
                magnitudes[line] = uint16_t(set);
                signs[line] = Sample(int32_t(set) - 2 * int32_t(negative));
            }
        }
        i += 4;
    }

    // Decoding that ran past the granule-channel's bits loses its last four
    // lines.  The bit position always ends at the granule-channel's end, so
    // the next one starts in the right place whatever this one held.
    if (bits.position() > end) i = i >= 4 ? i - 4 : 0;
    mainData.bitPosition = end;

    const uint32_t lineCount = std::min<uint32_t>(i, 576);
    std::fill(magnitudes + lineCount, magnitudes + 576, uint16_t(0));
    std::fill(signs + lineCount, signs + 576, Sample(0));
    result->lineCount = lineCount;
    return status;
}

template int32_t decodeHuffman<QualityPolicy>(MainDataBuffer&, const GranuleInfo&, const uint16_t*, uint32_t, int32_t,
                                              uint16_t*, double*, HuffmanResult*);
template int32_t decodeHuffman<PerformancePolicy>(MainDataBuffer&, const GranuleInfo&, const uint16_t*, uint32_t,
                                                  int32_t, uint16_t*, float*, HuffmanResult*);

}  // namespace qw
