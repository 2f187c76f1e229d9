// Alias reduction: butterflies across the boundaries of adjacent subbands of
// long-block spectra, undoing part of the analysis filter bank's aliasing.
#pragma once

#include <cstdint>

#include "layer3/SideInfo.h"

namespace qw {

// Applies the butterflies to the 576 values of x in place.  Pure short
// blocks are left alone; a mixed block reaches only up to line
// region1Start, any other block covers all 31 boundaries.
template <class Sample>
void reduceAliasing(const GranuleInfo& info, uint32_t region1Start, Sample* x);

}  // namespace qw
