// Alias reduction.
#include "synthesis/AliasReduction.h"

namespace qw {

namespace {

// cs[i] = 1 / sqrt(1 + c[i]^2), ca[i] = c[i] / sqrt(1 + c[i]^2) for
// c = -0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037, each
// rounded once to the variant's precision.
template <class Sample>
struct AliasCoefficients {
    static constexpr Sample cs[8] = {0.857492925712, 0.881741997318, 0.949628649103, 0.983314592492,
                                     0.995517816068, 0.999160558178, 0.999899195244, 0.999993155067};
    static constexpr Sample ca[8] = {-0.514495755427,  -0.471731968565,  -0.313377454204,  -0.181913199611,
                                     -0.0945741925264, -0.0409655828853, -0.0141985685725, -0.00369997467375};
};

}  // namespace

// In place: each butterfly reads both of its values before it writes either,
// and no two butterflies share a value, so the result equals that of a
// separate output array.
template <class Sample>
void reduceAliasing(const GranuleInfo& info, uint32_t region1Start, Sample* x) {
    using Coefficients = AliasCoefficients<Sample>;
    if (info.block_type == 2 && !info.mixed_block_flag) return;
    const uint32_t limit = info.block_type == 2 ? region1Start : 576;
    if (limit <= 18) return;
    const uint32_t boundaries = (limit - 1) / 18;
    for (uint32_t k = 1; k <= boundaries; ++k) {
        Sample* edge = x + 18 * k;
        for (uint32_t i = 0; i < 8; ++i) {
            // Products and sums in double; single precision rounds on store.
            const double lo = edge[-1 - int32_t(i)];
            const double hi = edge[i];
            const double cs = Coefficients::cs[i];
            const double ca = Coefficients::ca[i];
            edge[-1 - int32_t(i)] = Sample(lo * cs - hi * ca);
            edge[i] = Sample(hi * cs + lo * ca);
        }
    }
}

template void reduceAliasing<double>(const GranuleInfo&, uint32_t, double*);
template void reduceAliasing<float>(const GranuleInfo&, uint32_t, float*);

}  // namespace qw
