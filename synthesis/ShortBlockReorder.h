// Short-block reordering: from the coded order (band by band, window by
// window) to the window-interleaved order that stereo processing and the
// IMDCT read.
#pragma once

#include <cstdint>

#include "layer3/SideInfo.h"

namespace qw {

// Writes 576 values to output.  A pure short block moves line i of window w
// of band b from 3 s[b] + w n + i to 3 s[b] + 3 i + w (n = band width), so
// line f of window w ends at 3f + w; a mixed block becomes silence; any other
// block is copied.  shortEdges holds the 14 short-band boundaries of one
// window.  input and output must not overlap.
template <class Sample>
void reorderShortBlocks(const GranuleInfo& info, const uint16_t* shortEdges, const Sample* input, Sample* output);

}  // namespace qw
