// The Layer III Huffman code trees.
//
// Tree format: signed 16-bit entries walked from entry 0.  A negative entry is
// an inner node: read one bit; 0 goes to the next entry, 1 goes -entry entries
// beyond it.  A non-negative entry is a leaf: for pair tables x = entry >> 4,
// y = entry & 15; for the quadruple tables the 4 bits are v, w, x, y.
#pragma once

#include <cstdint>

namespace qw {

struct HuffmanTable {
    uint32_t linbits;
    const int16_t* tree;
};

extern const HuffmanTable huffmanTables[32];  // by table_select
extern const int16_t* const count1Tables[2];  // tables A and B, by count1table_select

}  // namespace qw
