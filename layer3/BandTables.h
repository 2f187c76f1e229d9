// Scale-factor band tables shared by the Layer III stages.
#pragma once

#include <cstdint>

namespace qw {

// Row = versionIndex * 3 + sampleRateIndex.  Each row: 23 long-band
// boundaries (the last is 576), then 14 short-band boundaries of one window
// (the last is 192).
constexpr uint32_t longEdgeCount = 23;
constexpr uint32_t shortEdgeCount = 14;
extern const uint16_t bandEdges[9][longEdgeCount + shortEdgeCount];

// (slen1, slen2) by MPEG-1 scalefac_compress.
extern const uint8_t slenTable[2][16];
// Numbers of scale factors per partition: [row 0..5][long, short][4].
extern const uint8_t partitionTable[6][2][4];
// Pre-emphasis by long band.
extern const uint32_t pretab[22];

// Per-line band look-ups, built from bandEdges.
struct BandIndex {
    BandIndex();
    uint16_t longBandOfLine[9][576];
    uint16_t shortBandOfLine[9][192];
};

}  // namespace qw
