// Joint-stereo decoding of one Layer III granule: mid/side and intensity
// stereo turn the two coded channels into left and right spectra.
#pragma once

#include <cstdint>

#include "layer3/BandTables.h"
#include "layer3/SideInfo.h"

namespace qw {

// What the frame header says about the channels of the frame.
struct StereoFrame {
    uint32_t versionIndex;  // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
    uint32_t channelCount;
    uint32_t mode;  // 1 = joint stereo
    uint32_t modeExtension;
};

template <class Sample>
struct StereoTables {
    // Intensity positions come from scale factors of at most 6 bits (MPEG-2
    // intensity positions from at most 5), so 64 entries cover every position
    // the scale-factor reader can store.  Larger values are clamped.
    static constexpr uint32_t gainSize = 64;

    StereoTables();

    // MPEG-1: tan(p * pi / 12) for positions 0..15.
    Sample intensityRatio[16];
    // MPEG-2/2.5 gains by position: [scale * 2 + 0] for odd positions,
    // [scale * 2 + 1] for even ones; scale is the intensity scale bit.
    Sample lsfIntensityGain[4][gainSize];
};

// Processes one granule in place: left holds channel 0 (mid) and right
// channel 1 (side) on entry, the left and right spectra on return.  Short
// blocks are expected in window-interleaved order (line f of window w at
// 3f + w).  row is the stream's band-table row.
template <class Sample>
void processStereo(const StereoTables<Sample>& tables, const BandIndex& bands, uint32_t row, const StereoFrame& frame,
                   const GranuleInfo& channel0, const GranuleInfo& channel1, Sample* left, Sample* right);

}  // namespace qw
