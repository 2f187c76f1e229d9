// The Huffman-coded spectrum that follows the scale factors: big-value pairs, coded with
// up to three tables over the regions of the spectrum, then the quadruples
// of values 0 and 1 until the granule-channel's bits run out.
#include "layer3/HuffmanDecoder.h"

#include <algorithm>
#include <cstring>

#include "layer3/BandTables.h"
#include "layer3/HuffmanTables.h"
#include "layer3/Layer3Policy.h"

namespace qw {

namespace {

// A code word's first bits, read at once, index a table built from its tree.
// An entry holds what those bits decode to: a pair's values and the bits the
// entry takes, which include the values' sign bits where they follow the
// code word within the look-up; or, for longer code words, a link to a table
// for the bits after these.  The same bits are taken and the same values
// reached as a walk down the tree one bit at a time.
//
// A pair entry, 32 bits:
//   0-5    bits the entry takes            12-15  x, the first value
//   6      partial: the entry took the code word only; the values' escape
//          and sign bits follow
//   7      link: the code word goes on past the look-up; 8-11 the width of
//          the next table and 12-31 where it starts in the pool
//   8-11   sign code: two bits per value, x first: 0 zero, 1 plus, 3 minus
//   28-31  y, the second value
// The bits taken come first so that the shift that takes them needs no mask.
constexpr uint32_t partial = 1u << 6;
constexpr uint32_t link = 1u << 7;
constexpr uint32_t takenBits(uint32_t entry) { return entry & 63; }
constexpr uint32_t signCode(uint32_t entry) { return (entry >> 8) & 15; }
constexpr uint32_t valueX(uint32_t entry) { return (entry >> 12) & 15; }
constexpr uint32_t valueY(uint32_t entry) { return entry >> 28; }
// x in the low half, y in the high half: the two magnitudes as stored.
constexpr uint32_t valuePair(uint32_t entry) { return (entry >> 12) & 0x000F000Fu; }

// A quadruple entry: the bits it takes in bits 0-5, the four values (v in
// bit 11 down to y in bit 8) and their sign bits (1 minus) in bits 12-15.
// Every quadruple code word with its sign bits fits one look-up.
constexpr uint32_t quadrupleValues(uint32_t entry) { return (entry >> 8) & 15; }
constexpr uint32_t quadrupleSigns(uint32_t entry) { return (entry >> 8) & 255; }

// Look-up widths: the first table of a pair tree reads up to firstLevelBits
// (or the longest code word and two sign bits of a smaller tree); the tables
// behind a link up to nextLevelBits.
constexpr uint32_t firstLevelBits = 11;
constexpr uint32_t nextLevelBits = 6;
constexpr uint32_t poolSize = 24576;

// The most bits a big-value pair takes: the longest code word (19 bits, table
// 13) with two sign bits, or a 17-bit code word of the escape tables and, for
// each value, 13 escape bits and a sign bit.  A quadruple takes at most 6 + 4.
constexpr uint32_t pairBits = 21;
constexpr uint32_t escapePairBits = 47;
constexpr uint32_t quadrupleBits = 10;
static_assert(2 * pairBits <= MainDataCursor::refilled, "two pairs fit one refill");
static_assert(escapePairBits <= MainDataCursor::refilled, "an escape pair fits one refill");
static_assert(2 * quadrupleBits <= MainDataCursor::refilled, "two quadruples fit one refill");

// The longest path below tree node k.
uint32_t depthBelow(const int16_t* tree, uint32_t k) {
    if (tree[k] >= 0) return 0;
    return 1 + std::max(depthBelow(tree, k + 1), depthBelow(tree, k + 1 + uint32_t(-tree[k])));
}

// Walks from node k over up to `width` bits of pattern, most significant
// first, and returns the node reached; depth counts the bits taken.
uint32_t walk(const int16_t* tree, uint32_t k, uint32_t pattern, uint32_t width, uint32_t& depth) {
    depth = 0;
    while (tree[k] < 0 && depth < width) {
        const uint32_t bit = (pattern >> (width - 1 - depth)) & 1;
        k += 1 + (bit ? uint32_t(-tree[k]) : 0);
        ++depth;
    }
    return k;
}

// The code of one value's sign: 0 for a zero value, else 1 plus or 3 minus.
constexpr uint32_t signCodeOf(uint32_t value, uint32_t negative) { return value ? 1 | negative << 1 : 0; }

struct PairTable {
    uint32_t offset;  // of the first table in the pool
    uint32_t width;
};

// The look-up tables of every tree, built once.  Tables that share a tree
// (16 to 23, 24 to 31, and the empty ones) share its look-up tables.  The
// trees of the escape tables take no sign bits into their entries: escape
// bits come between a code word and its signs.
struct HuffmanLookup {
    uint32_t pool[poolSize] = {};
    uint32_t used = 0;
    PairTable bySelect[32] = {};
    uint32_t quadruples[2][1 << quadrupleBits] = {};

    HuffmanLookup() {
        for (uint32_t select = 0; select < 32; ++select) {
            const int16_t* tree = huffmanTables[select].tree;
            uint32_t earlier = 0;
            while (earlier < select && huffmanTables[earlier].tree != tree) ++earlier;
            if (earlier < select) {
                bySelect[select] = bySelect[earlier];
                continue;
            }
            const bool foldSigns = huffmanTables[select].linbits == 0;
            const uint32_t width = std::max(1u, std::min(depthBelow(tree, 0) + (foldSigns ? 2 : 0), firstLevelBits));
            bySelect[select] = {build(tree, 0, width, foldSigns), width};
        }
        for (uint32_t t = 0; t < 2; ++t) {
            for (uint32_t pattern = 0; pattern < (1u << quadrupleBits); ++pattern) {
                uint32_t depth = 0;
                const uint32_t values =
                    uint32_t(count1Tables[t][walk(count1Tables[t], 0, pattern, quadrupleBits, depth)]);
                uint32_t entry = values << 8;
                for (uint32_t v = 0; v < 4; ++v) {
                    if (!((values >> (3 - v)) & 1)) continue;
                    entry |= ((pattern >> (quadrupleBits - 1 - depth)) & 1) << (15 - v);
                    ++depth;
                }
                quadruples[t][pattern] = entry | depth;
            }
        }
    }

    // Fills a table of `width` bits for the code words below node k; returns
    // its place in the pool.
    uint32_t build(const int16_t* tree, uint32_t k, uint32_t width, bool foldSigns) {
        const uint32_t offset = used;
        if (used + (1u << width) > poolSize) return 0;  // the pool is sized so that this never happens
        used += 1u << width;
        for (uint32_t pattern = 0; pattern < (1u << width); ++pattern) {
            uint32_t depth = 0;
            const uint32_t node = walk(tree, k, pattern, width, depth);
            if (tree[node] < 0) {
                const uint32_t next = std::min(depthBelow(tree, node), nextLevelBits);
                pool[offset + pattern] = link | width | next << 8 | build(tree, node, next, foldSigns) << 12;
                continue;
            }
            const uint32_t x = uint32_t(tree[node]) >> 4, y = uint32_t(tree[node]) & 15;
            uint32_t entry = x << 12 | y << 28;
            const uint32_t signBits = (x != 0) + (y != 0);
            if (foldSigns && depth + signBits <= width) {
                const uint32_t rest = pattern << depth;  // sign bits from bit width - 1 down
                const uint32_t xNegative = (rest >> (width - 1)) & 1;
                const uint32_t yNegative = (rest >> (width - 1 - (x != 0))) & 1;
                entry |= (signCodeOf(x, xNegative) | signCodeOf(y, yNegative) << 2) << 8;
                depth += signBits;
            } else {
                entry |= partial;
            }
            pool[offset + pattern] = entry | depth;
        }
        return offset;
    }

    // Follows links from the entry at the cursor to the code word's leaf,
    // taking the bits of each table passed.
    uint32_t leaf(MainDataCursor& bits, uint32_t entry) const {
        while (entry & link) {
            bits.skip(takenBits(entry));
            entry = pool[(entry >> 12) + bits.peek(signCode(entry))];
        }
        return entry;
    }
};

const HuffmanLookup& huffmanLookup() {
    static const HuffmanLookup lookup;
    return lookup;
}

// The sign factors (+1, -1, or 0 for a zero value) of a pair by its sign
// code, of a quadruple by its values and sign bits, and a quadruple's
// magnitudes by its values.
template <class Sample>
struct SignTables {
    Sample pairs[16][2] = {};
    Sample quadruples[256][4] = {};
    uint16_t quadrupleMagnitudes[16][4] = {};

    SignTables() {
        for (uint32_t code = 0; code < 16; ++code) {
            for (uint32_t v = 0; v < 2; ++v) {
                const uint32_t c = (code >> (2 * v)) & 3;
                pairs[code][v] = Sample(c == 1 ? 1 : c == 3 ? -1 : 0);
            }
        }
        for (uint32_t index = 0; index < 256; ++index) {
            for (uint32_t v = 0; v < 4; ++v) {
                const uint32_t set = (index >> (3 - v)) & 1;
                const uint32_t negative = (index >> (7 - v)) & 1;
                quadruples[index][v] = Sample(int32_t(set) - 2 * int32_t(set & negative));
                quadrupleMagnitudes[index & 15][v] = uint16_t(set);
            }
        }
    }
};

template <class Sample>
const SignTables<Sample>& signTables() {
    static const SignTables<Sample> tables;
    return tables;
}

template <class Sample>
inline void storePair(uint32_t values, const Sample* signPair, uint16_t* magnitudes, Sample* signs) {
    std::memcpy(magnitudes, &values, sizeof values);  // x, then y: the halves in memory order
    std::memcpy(signs, signPair, 2 * sizeof(Sample));
}

// One pair of a table without escapes.  An entry that took the signs is
// complete; otherwise the code word is finished first and its sign bits
// read after it.
template <class Sample>
inline void decodePair(MainDataCursor& bits, const HuffmanLookup& lookup, const uint32_t* table, uint32_t width,
                       const SignTables<Sample>& signTables, uint16_t* magnitudes, Sample* signs) {
    uint32_t entry = table[bits.peek(width)];
    if (entry & (partial | link)) {
        entry = lookup.leaf(bits, entry);
        if (entry & partial) {
            bits.skip(takenBits(entry));
            const uint32_t x = valueX(entry), y = valueY(entry);
            const uint32_t xNegative = bits.bitIf(x != 0);
            const uint32_t yNegative = bits.bitIf(y != 0);
            entry = (entry & ~(partial | 63u)) | (signCodeOf(x, xNegative) | signCodeOf(y, yNegative) << 2) << 8;
        }
    }
    bits.skip(takenBits(entry));
    storePair(valuePair(entry), signTables.pairs[signCode(entry)], magnitudes, signs);
}

// Pairs of lines [i, stop) coded with a table without escapes.
template <class Sample>
void decodePairs(MainDataCursor& bits, const PairTable& table, uint32_t i, uint32_t stop, uint16_t* magnitudes,
                 Sample* signs) {
    const HuffmanLookup& lookup = huffmanLookup();
    const SignTables<Sample>& tables = signTables<Sample>();
    const uint32_t* first = lookup.pool + table.offset;
    const uint32_t width = table.width;
    for (; i + 4 <= stop; i += 4) {
        bits.refill();
        decodePair(bits, lookup, first, width, tables, magnitudes + i, signs + i);
        decodePair(bits, lookup, first, width, tables, magnitudes + i + 2, signs + i + 2);
    }
    if (i < stop) {
        bits.refill();
        decodePair(bits, lookup, first, width, tables, magnitudes + i, signs + i);
    }
}

// One value of an escape-table pair, read bit field by bit field: escape
// bits when the code says 15, then a sign bit when the value is nonzero.
// Returns the value; sets its sign code.
template <class Policy>
inline uint32_t decodeEscapeValue(MainDataCursor& bits, uint32_t value, uint32_t linbits, uint32_t& code,
                                  int32_t& status) {
    value += bits.take(value == 15 ? linbits : 0);
    if (Policy::rejectLargeEscapes && value >= Policy::pow43Size) {
        // Beyond this decoder's power table: silenced (no sign bit), the frame is rejected.
        status = 1;
        value = 0;
    }
    code = signCodeOf(value, bits.bitIf(value != 0));
    return value;
}

// Pairs of lines [i, stop) coded with an escape table (linbits > 0).  Where
// each field lies follows from the code word alone (a value coded 15 has
// escape bits and, at least 15, a sign bit; any other value a sign bit when
// nonzero), so the fields are read from one window and taken at once.  Only
// a value beyond the power table, which has no sign bit, moves the fields
// after it: that pair is read again field by field.
template <class Policy>
void decodeEscapePairs(MainDataCursor& bits, const PairTable& table, uint32_t linbits, uint32_t i, uint32_t stop,
                       uint16_t* magnitudes, typename Policy::Sample* signs, int32_t& status) {
    const HuffmanLookup& lookup = huffmanLookup();
    const SignTables<typename Policy::Sample>& tables = signTables<typename Policy::Sample>();
    const uint32_t* first = lookup.pool + table.offset;
    const uint32_t width = table.width;
    for (; i < stop; i += 2) {
        bits.refill();
        uint32_t entry = first[bits.peek(width)];
        if (entry & link) entry = lookup.leaf(bits, entry);
        const uint32_t x = valueX(entry), y = valueY(entry);
        // The escape widths by mask, not by a branch: escape values are
        // common where these tables are used, and a branch on them would be
        // mispredicted often.
        const uint32_t xSign = takenBits(entry) + (linbits & (0u - uint32_t(x == 15)));
        const uint32_t yStart = xSign + (x != 0);
        const uint32_t ySign = yStart + (linbits & (0u - uint32_t(y == 15)));
        const uint32_t xValue = x + bits.peekAt(takenBits(entry), xSign - takenBits(entry));
        const uint32_t yValue = y + bits.peekAt(yStart, ySign - yStart);
        if (Policy::rejectLargeEscapes && std::max(xValue, yValue) >= Policy::pow43Size) {
            bits.skip(takenBits(entry));
            uint32_t xCode, yCode;
            const uint32_t xKept = decodeEscapeValue<Policy>(bits, x, linbits, xCode, status);
            const uint32_t yKept = decodeEscapeValue<Policy>(bits, y, linbits, yCode, status);
            storePair(xKept | yKept << 16, tables.pairs[xCode | yCode << 2], magnitudes + i, signs + i);
            continue;
        }
        const uint32_t xCode = signCodeOf(x, bits.bitAt(xSign));
        const uint32_t yCode = signCodeOf(y, bits.bitAt(ySign));
        bits.skip(ySign + (y != 0));
        storePair(xValue | yValue << 16, tables.pairs[xCode | yCode << 2], magnitudes + i, signs + i);
    }
}

// One quadruple's lines, `lines` of its four (fewer only at the spectrum's
// end), from bits a refill counted.
template <class Sample>
inline void decodeQuadruple(MainDataCursor& bits, const uint32_t* lookup, const SignTables<Sample>& tables,
                            uint32_t lines, uint16_t* magnitudes, Sample* signs) {
    const uint32_t entry = lookup[bits.peek(quadrupleBits)];
    bits.skip(takenBits(entry));
    std::memcpy(magnitudes, tables.quadrupleMagnitudes[quadrupleValues(entry)], lines * sizeof(uint16_t));
    std::memcpy(signs, tables.quadruples[quadrupleSigns(entry)], lines * sizeof(Sample));
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

    // Big values: runs to 2 * big_values whatever part2_3_length says.  The
    // table changes to table_select[1] at line r1 and to table_select[2] at
    // r2, in the order the lines reach them: a short boundary that region 2
    // may land on can lie before r1, and where both fall on one line the
    // change to region 2 comes second.  Every boundary is even, as is every
    // pair's first line.
    const uint32_t bigEnd = 2 * std::min<uint32_t>(info.big_values, 288);
    const bool region2First = r2 < r1;
    const uint32_t starts[3] = {0, std::min(region2First ? r2 : r1, bigEnd), std::min(region2First ? r1 : r2, bigEnd)};
    const uint32_t selects[3] = {info.table_select[0] & 31, info.table_select[region2First ? 2 : 1] & 31,
                                 info.table_select[region2First ? 1 : 2] & 31};
    MainDataCursor bits(mainData, mainData.bitPosition);
    const HuffmanLookup& lookup = huffmanLookup();
    for (uint32_t region = 0; region < 3; ++region) {
        const uint32_t start = starts[region];
        const uint32_t stop = region < 2 ? starts[region + 1] : bigEnd;
        if (start >= stop) continue;
        const PairTable& table = lookup.bySelect[selects[region]];
        const uint32_t linbits = huffmanTables[selects[region]].linbits;
        if (linbits == 0) {
            decodePairs<Sample>(bits, table, start, stop, magnitudes, signs);
        } else {
            decodeEscapePairs<Policy>(bits, table, linbits, start, stop, magnitudes, signs, status);
        }
    }

    // Quadruples of 0 and 1 while bits remain.  A quadruple started at line
    // 574 still reads the sign bits of its last two values, which have no
    // line to go to.
    const uint32_t* quadrupleLookup = lookup.quadruples[info.count1table_select & 1];
    const SignTables<Sample>& tables = signTables<Sample>();
    uint32_t i = bigEnd;
    // Two quadruples to a refill.
    while (i + 4 <= 576 && bits.position() < end) {
        bits.refill();
        decodeQuadruple(bits, quadrupleLookup, tables, 4, magnitudes + i, signs + i);
        i += 4;
        if (i + 4 > 576 || bits.position() >= end) break;
        decodeQuadruple(bits, quadrupleLookup, tables, 4, magnitudes + i, signs + i);
        i += 4;
    }
    if (i < 576 && bits.position() < end) {
        bits.refill();
        decodeQuadruple(bits, quadrupleLookup, tables, 576 - i, magnitudes + i, signs + i);
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
