// The Huffman-coded spectrum that follows a granule-channel's scale factors.
#pragma once

#include <cstdint>

#include "layer3/MainDataBuffer.h"
#include "layer3/SideInfo.h"

namespace qw {

struct HuffmanResult {
    uint32_t lineCount;     // lines from here on are zero
    uint32_t region1Start;  // line where region 1 of a short block starts
};

// Decodes 576 magnitudes and sign factors (+1, -1, or 0 for a zero line) for
// one granule-channel whose scale factors started at part2Start, and leaves
// the main data's bit position at part2Start + part2_3_length.  Returns 0, or
// 1 when Policy::rejectLargeEscapes and an escape value reached 8192.
// bandEdgeRow is the row of bandEdges for the stream.
template <class Policy>
int32_t decodeHuffman(MainDataBuffer& mainData, const GranuleInfo& info, const uint16_t* bandEdgeRow,
                      uint32_t versionIndex, int32_t part2Start, uint16_t* magnitudes, typename Policy::Sample* signs,
                      HuffmanResult* result);

}  // namespace qw
