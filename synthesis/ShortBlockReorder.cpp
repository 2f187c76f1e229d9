// Short-block reordering.
#include "synthesis/ShortBlockReorder.h"

#include <algorithm>

#include "layer3/Layer3Policy.h"

namespace qw {

template <class Policy>
void reorderShortBlocks(const GranuleInfo& info, const uint16_t* shortEdges, const typename Policy::Sample* input,
                        typename Policy::Sample* output) {
    if (!info.isShortBlock()) {
        std::copy(input, input + 576, output);
        return;
    }
    std::fill(output, output + 576, typename Policy::Sample(0));
    // Mixed blocks are not decoded: the granule-channel stays silent.
    if (info.mixed_block_flag) return;
    for (uint32_t band = 0; band < 13; ++band) {
        const uint32_t start = 3 * uint32_t(shortEdges[band]);
        const uint32_t width = uint32_t(shortEdges[band + 1]) - shortEdges[band];
        for (uint32_t w = 0; w < 3; ++w) {
            const auto* from = input + start + w * width;
            for (uint32_t i = 0; i < width; ++i) output[start + 3 * i + w] = from[i];
        }
    }
}

template void reorderShortBlocks<QualityPolicy>(const GranuleInfo&, const uint16_t*, const double*, double*);
template void reorderShortBlocks<PerformancePolicy>(const GranuleInfo&, const uint16_t*, const float*, float*);

}  // namespace qw
