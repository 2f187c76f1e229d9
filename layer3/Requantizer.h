// Requantization: magnitudes and signs to spectral values, through tables
// built once per decoder.
#pragma once

#include <cstdint>

#include "layer3/SideInfo.h"

namespace qw {

template <class Policy>
struct RequantizeTables {
    using Sample = typename Policy::Sample;
    RequantizeTables();
    Sample globalGain[256];           // 2^((g - 210) / 4)
    Sample subblockGain[64];          // 2^(-2k)
    Sample scaleFactorGain[64];       // 2^(-k / 2)
    Sample pow43[Policy::pow43Size];  // n^(4/3)
};

// Writes 576 spectral values of one granule-channel.  Long blocks in line
// order; short blocks band by band, window by window, as they were coded.
// Lines from lineCount on are zero.  The magnitudes are those the Huffman
// decoder leaves: from 2 * big_values on 0 or 1 (quadruples), from lineCount
// on 0 (the groups of lines scaled at once may read a few of them).
// A mixed block computes nothing: spectrum keeps what it held.
template <class Policy>
void requantize(const RequantizeTables<Policy>& tables, const GranuleInfo& info, const uint16_t* bandEdgeRow,
                const uint16_t* magnitudes, const typename Policy::Sample* signs, uint32_t lineCount,
                typename Policy::Sample* spectrum);

}  // namespace qw
