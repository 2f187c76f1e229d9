// The scale factors at the head of a granule-channel's main data.
#pragma once

#include <cstdint>

#include "layer3/MainDataBuffer.h"
#include "layer3/SideInfo.h"

namespace qw {

// Reads the scale factors of (channel, granule) into its GranuleInfo, from
// the main data's current bit position.  MPEG-1 uses scfsi to share long
// bands with granule 0; MPEG-2/2.5 reads partitions and records the intensity
// limits.  Always 0.
int32_t readScaleFactors(MainDataBuffer& mainData, SideInfo& sideInfo, const FrameHeader& header, uint32_t channel,
                         uint32_t granule);

}  // namespace qw
