// Alias reduction.
#include "synthesis/AliasReduction.h"

#include "synthesis/Lanes.h"
#include "synthesis/SimdLevel.h"

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

// The butterflies of the given boundaries, N of the eight at a boundary side
// by side.  In place: each butterfly reads both of its values before it
// writes either, and no two butterflies share a value, so the result equals
// that of a separate output array.  Products and sums in double; single
// precision rounds on store.
template <class Sample, int N>
__attribute__((always_inline)) inline void butterflies(Sample* x, uint32_t boundaries) {
    using C = AliasCoefficients<Sample>;
    using L = Lanes<Sample, N>;
    using D = typename L::Doubles;
    D cs[8 / N], ca[8 / N];
    for (int group = 0; group < 8 / N; ++group) {
        for (int lane = 0; lane < N; ++lane)
            cs[group][lane] = C::cs[N * group + lane], ca[group][lane] = C::ca[N * group + lane];
    }
    for (uint32_t k = 1; k <= boundaries; ++k) {
        Sample* edge = x + 18 * k;
        for (int group = 0; group < 8 / N; ++group) {
            // Lines edge[-1 - i] and edge[i] for i = N group .. N group + N - 1.
            Sample* below = edge - N * (group + 1);
            Sample* above = edge + N * group;
            const D lo = L::widen(L::reversed(L::load(below))), hi = L::widen(L::load(above));
            L::store(below, L::reversed(L::stored(lo * cs[group] - hi * ca[group])));
            L::store(above, L::stored(hi * cs[group] + lo * ca[group]));
        }
    }
}

template <class Sample>
void butterfliesTwo(Sample* x, uint32_t boundaries) {
    butterflies<Sample, 2>(x, boundaries);
}

#if defined(__x86_64__) || defined(__i386__)
template <class Sample>
QW_TARGET_AVX void butterfliesFour(Sample* x, uint32_t boundaries) {
    butterflies<Sample, 4>(x, boundaries);
}

// The products are not exact: no fusing where the level has fused
// multiply-adds.
template <class Sample>
QW_TARGET_AVX512 QW_NO_FUSING void butterfliesEight(Sample* x, uint32_t boundaries) {
    QW_NO_FUSING_HERE
    butterflies<Sample, 8>(x, boundaries);
}
#endif

}  // namespace

template <class Sample>
void reduceAliasing(const GranuleInfo& info, uint32_t region1Start, Sample* x) {
    if (info.block_type == 2 && !info.mixed_block_flag) return;
    const uint32_t limit = info.block_type == 2 ? region1Start : 576;
    if (limit <= 18) return;
    const uint32_t boundaries = (limit - 1) / 18;
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx512) return butterfliesEight(x, boundaries);
    if (simd::active() >= simd::Level::avx) return butterfliesFour(x, boundaries);
#endif
    butterfliesTwo(x, boundaries);
}

template void reduceAliasing<double>(const GranuleInfo&, uint32_t, double*);
template void reduceAliasing<float>(const GranuleInfo&, uint32_t, float*);

}  // namespace qw
