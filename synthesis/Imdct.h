// The second half of the hybrid filter bank: per subband an inverse MDCT of
// 18 spectral values (or three of 6 for short blocks), windowing by block
// type and overlap-add with the previous granule.
#pragma once

#include <cstdint>

#include "layer3/SideInfo.h"

namespace qw {

template <class Sample>
struct ImdctTables {
    ImdctTables();
    // The long windows of block types 0, 1 and 3 (row 2 is unused), each value
    // premultiplied by the output scaling of the sample it weights, so that
    // the last step of the long transform and the windowing are one product.
    Sample window[4][36];
};

// Transforms the 32 subbands of one granule-channel.  spectrum (576 values,
// 18 per subband; short blocks window-interleaved) is used as scratch space
// and left undefined.  subbandSamples receives 18 time slots of 32 subbands,
// time-major (slot t of subband sb at 32 t + sb), every odd slot of every odd
// subband negated (the odd subbands leave the analysis bank
// frequency-reversed).  overlap holds the second halves of the previous
// granule on entry and of this one on return, stored like the subband
// samples (slot t of subband sb at 32 t + sb); all zero before the first.
template <class Sample>
void inverseMdct(const ImdctTables<Sample>& tables, const GranuleInfo& info, Sample* spectrum, Sample* overlap,
                 Sample* subbandSamples);

}  // namespace qw
