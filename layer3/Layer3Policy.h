// The named differences between the two Layer III decoders.  The decoder
// driver and the bitstream stages that differ beyond precision (Huffman
// escapes, requantization) are written once, templated on one of these
// policies; the signal-path stages take only the policy's Sample type.
#pragma once

#include <cstdint>

#include "synthesis/FastSynthesis.h"
#include "synthesis/PolyphaseSynthesis.h"

namespace qw {

// "Best Quality": double precision throughout.
struct QualityPolicy {
    using Sample = double;
    using Synthesis = PolyphaseSynthesis;
    // Joint-stereo granules must code both channels with the same block type.
    static constexpr bool equalJointStereoBlockTypes = true;
    // Escape values up to 15 + 8191 are decoded exactly: the power table
    // reaches the largest value the bitstream can express.
    static constexpr bool rejectLargeEscapes = false;
    static constexpr uint32_t pow43Size = 8207;
    // Callers always pass an output buffer.
    static constexpr bool nullOutputLoadsOnly = false;
};

// "Best Performance": single-precision storage and tables.
struct PerformancePolicy {
    using Sample = float;
    using Synthesis = FastSynthesis;
    static constexpr bool equalJointStereoBlockTypes = false;
    // An escape value of 8192 or more is zeroed and rejects the frame.
    static constexpr bool rejectLargeEscapes = true;
    static constexpr uint32_t pow43Size = 8192;
    // A null output loads the frame's main data into the reservoir and
    // decodes nothing.
    static constexpr bool nullOutputLoadsOnly = true;
};

}  // namespace qw
