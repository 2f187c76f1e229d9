// Short-block reordering.
#include "synthesis/ShortBlockReorder.h"

#include <algorithm>

namespace qw {

template <class Sample>
void reorderShortBlocks(const GranuleInfo& info, const uint16_t* shortEdges, const Sample* input, Sample* output) {
    if (!info.isShortBlock()) {
        std::copy(input, input + 576, output);
        return;
    }
    std::fill(output, output + 576, Sample(0));
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

template void reorderShortBlocks<double>(const GranuleInfo&, const uint16_t*, const double*, double*);
template void reorderShortBlocks<float>(const GranuleInfo&, const uint16_t*, const float*, float*);

}  // namespace qw
