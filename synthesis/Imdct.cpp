// Inverse MDCT with windowing and overlap-add.
//
// The 36-point long transform y[i] = sum_k X[k] cos(pi/72 (2i + 19)(2k + 1))
// is split into two 9-point transforms of the even and odd partial sums of
// X; the 12-point short transform likewise into two 3-point ones.  Every
// product and sum is formed in double; the single-precision variant rounds to
// float whenever it stores an intermediate.
#include "synthesis/Imdct.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "synthesis/Lanes.h"
#include "synthesis/SimdLevel.h"

namespace qw {

namespace {

// The transforms' constants, each rounded once to the variant's precision.
//   twoCos10 .. twoCos80: 2 cos(10 k degrees), the 9-point kernel (its inputs
//     enter doubled, so its results are twice the transform's);
//   nineTwiddle[j] = 1 / (2 cos((2j + 1) pi / 36)), the odd half's scaling;
//   shortCos = cos(30 degrees), shortOddTwiddle = 1 / (2 cos((2j + 1) pi / 12)),
//   shortTwiddle[k] = 1 / (2 cos((2k + 1) pi / 24)), and shortWindow[i] =
//   sin((i + 0.5) pi / 12) for i = 0..5 (the window is symmetric).
template <class Sample>
struct ImdctConstants {
    static constexpr Sample twoCos10 = 1.969615506024416;
    static constexpr Sample twoCos20 = 1.8793852415718169;
    static constexpr Sample twoCos40 = 1.532088886237956;
    static constexpr Sample twoCos50 = 1.2855752193730787;
    static constexpr Sample twoCos70 = 0.6840402866513376;
    static constexpr Sample twoCos80 = 0.34729635533386083;
    static constexpr Sample sqrt3 = 1.7320508075688772;
    static constexpr Sample nineTwiddle[9] = {0.501909918, 0.51763809,  0.551688959, 0.610387294, 0.707106781,
                                              0.871723397, 1.183100792, 1.931851653, 5.736856623};
    static constexpr Sample shortCos = 0.866025403;
    static constexpr Sample shortOddTwiddle[3] = {0.51763809, 0.707106781, 1.931851653};
    static constexpr Sample shortTwiddle[6] = {0.50431448,  0.5411961,   0.630236207,
                                               0.821339815, 1.306562965, 3.830648788};
    static constexpr Sample shortWindow[6] = {0.130526192, 0.382683432, 0.608761429,
                                              0.79335334,  0.923879532, 0.991444861};
};

// Several subbands are transformed side by side, one per vector lane: two
// with SSE2 (and for the two long subbands of a mixed block), four with AVX,
// eight with AVX-512 (see Lanes).

// Twice the 9-point transform out[j] = a[0] + sum_{k=1..8} cos((2j + 1) k pi / 18) a[k]
// of a[k] = in[2k].  Outputs j and 8 - j share the even-k and the odd-k
// partial sums with opposite signs of the odd part.
template <class Sample, int N>
__attribute__((always_inline)) inline void ninePoint(const typename Lanes<Sample, N>::Samples* in,
                                                     typename Lanes<Sample, N>::Samples* out) {
    using K = ImdctConstants<Sample>;
    using L = Lanes<Sample, N>;
    using D = typename L::Doubles;
    const D a0 = 2.0 * L::widen(in[0]), a1 = L::widen(in[2]), a2 = L::widen(in[4]), a3 = L::widen(in[6]);
    const D a4 = L::widen(in[8]), a5 = L::widen(in[10]), a6 = L::widen(in[12]), a7 = L::widen(in[14]);
    const D a8 = L::widen(in[16]);
    const double c10 = K::twoCos10, c20 = K::twoCos20, c40 = K::twoCos40, c50 = K::twoCos50;
    const double c70 = K::twoCos70, c80 = K::twoCos80, s3 = K::sqrt3;

    const D even0 = a0 + a6 + c20 * a2 + c40 * a4 + c80 * a8;
    const D even1 = a0 - 2.0 * a6 + a2 - a4 - a8;
    const D even2 = a0 + a6 - c80 * a2 - c20 * a4 + c40 * a8;
    const D even3 = a0 + a6 - c40 * a2 + c80 * a4 - c20 * a8;
    const D odd0 = c10 * a1 + s3 * a3 + c50 * a5 + c70 * a7;
    const D odd1 = s3 * (a1 - a5 - a7);
    const D odd2 = c50 * a1 - s3 * a3 - c70 * a5 + c10 * a7;
    const D odd3 = c70 * a1 - s3 * a3 + c10 * a5 - c50 * a7;

    out[0] = L::stored(even0 + odd0);
    out[8] = L::stored(even0 - odd0);
    out[1] = L::stored(even1 + odd1);
    out[7] = L::stored(even1 - odd1);
    out[2] = L::stored(even2 + odd2);
    out[6] = L::stored(even2 - odd2);
    out[3] = L::stored(even3 + odd3);
    out[5] = L::stored(even3 - odd3);
    out[4] = L::stored(a0 + 2.0 * (a4 + a8 - a2 - a6));
}

// Odd subbands leave the analysis bank frequency-reversed: every odd time
// slot of an odd subband is negated on its way out, so that they reach the
// synthesis bank in the right orientation.  Negation is exact.
template <class Sample>
__attribute__((always_inline)) inline Sample oriented(Sample value, uint32_t slot, uint32_t sb) {
    return (slot & sb & 1) ? -value : value;
}

// N neighbouring long subbands from sb on: 36 windowed samples each from
// their 18 values, the first half added to the overlap into the subband
// samples, the second half kept as the new overlap.  window is the block
// type's row with the output scaling in it.  The overlap is stored like the
// subband samples, time slot by time slot, so that the N subbands' values of
// one slot lie side by side.
template <class Sample, int N>
__attribute__((always_inline)) inline void longTransforms(const Sample* spectrum, const Sample* window, Sample* overlap,
                                                          Sample* subbandSamples, uint32_t sb) {
    using K = ImdctConstants<Sample>;
    using L = Lanes<Sample, N>;
    using D = typename L::Doubles;
    using S = typename L::Samples;
    // x[i] holds value i of each subband: the subbands' rows turned into
    // columns, N values at a time, and the last few one by one.
    typename L::AlignedSamples x[18];
    constexpr uint32_t whole = 18 / N * N;
    for (uint32_t i = 0; i < whole; i += N) {
        for (int lane = 0; lane < N; ++lane) std::memcpy(&x[i + lane], spectrum + 18 * (sb + lane) + i, sizeof(S));
        transposeSquare<N>(x + i);
    }
    for (uint32_t i = whole; i < 18; ++i) {
        for (int lane = 0; lane < N; ++lane) x[i][lane] = spectrum[18 * (sb + lane) + i];
    }
    for (uint32_t i = 17; i >= 1; --i) x[i] = x[i] + x[i - 1];
    for (uint32_t i = 17; i >= 3; i -= 2) x[i] = x[i] + x[i - 2];

    S even[9], odd[9];
    ninePoint<Sample, N>(x, even);
    ninePoint<Sample, N>(x + 1, odd);

    S t[18];
    for (uint32_t j = 0; j < 9; ++j) {
        const D o = L::widen(odd[j]) * double(K::nineTwiddle[j]);
        t[j] = L::stored(L::widen(even[j]) + o);
        t[17 - j] = L::stored(L::widen(even[j]) - o);
    }
    S y[36];
    for (uint32_t i = 0; i < 9; ++i) {
        y[i] = t[9 + i] * window[i];
        y[9 + i] = t[17 - i] * window[9 + i];
        y[18 + i] = t[8 - i] * window[18 + i];
        y[27 + i] = t[i] * window[27 + i];
    }
    // The lanes of odd subbands, negated in odd slots.
    S flip;
    for (int lane = 0; lane < N; ++lane) flip[lane] = Sample((sb + lane) & 1 ? -1 : 1);
    for (uint32_t i = 0; i < 18; ++i) {
        S carry, out;
        std::memcpy(&carry, overlap + 32 * i + sb, sizeof carry);
        out = y[i] + carry;
        if (i & 1) out = out * flip;
        std::memcpy(subbandSamples + 32 * i + sb, &out, sizeof out);
        std::memcpy(overlap + 32 * i + sb, &y[18 + i], sizeof y[18 + i]);
    }
}

template <class Sample>
using LongTransforms = void (*)(const Sample*, const Sample*, Sample*, Sample*, uint32_t);

template <class Sample>
void longTransformsTwo(const Sample* spectrum, const Sample* window, Sample* overlap, Sample* out, uint32_t sb) {
    longTransforms<Sample, 2>(spectrum, window, overlap, out, sb);
}
#if defined(__x86_64__) || defined(__i386__)
template <class Sample>
QW_TARGET_AVX void longTransformsFour(const Sample* spectrum, const Sample* window, Sample* overlap, Sample* out,
                                      uint32_t sb) {
    longTransforms<Sample, 4>(spectrum, window, overlap, out, sb);
}

// The products are not exact: no fusing where the level has fused
// multiply-adds.
template <class Sample>
QW_TARGET_AVX512 QW_NO_FUSING void longTransformsEight(const Sample* spectrum, const Sample* window, Sample* overlap,
                                                       Sample* out, uint32_t sb) {
    QW_NO_FUSING_HERE
    longTransforms<Sample, 8>(spectrum, window, overlap, out, sb);
}
#endif

// One short subband: the three windows' 12-point transforms, windowed and
// added at 6 + 6v, so y[0..5] and y[30..35] stay zero.
template <class Sample>
void shortTransform(const Sample* x, Sample* y) {
    using K = ImdctConstants<Sample>;
    const double c = K::shortCos;
    for (uint32_t i = 0; i < 36; ++i) y[i] = 0;
    for (uint32_t v = 0; v < 3; ++v) {
        Sample z[6];
        for (uint32_t k = 0; k < 6; ++k) z[k] = x[3 * k + v];
        for (uint32_t i = 5; i >= 1; --i) z[i] = Sample(double(z[i]) + double(z[i - 1]));
        z[5] = Sample(double(z[5]) + double(z[3]));
        z[3] = Sample(double(z[3]) + double(z[1]));

        const double p = double(z[0]) + 0.5 * double(z[4]);
        const double e[3] = {p + c * double(z[2]), double(z[0]) - double(z[4]), p - c * double(z[2])};
        const double q = double(z[1]) + 0.5 * double(z[5]);
        const double o[3] = {(q + c * double(z[3])) * double(K::shortOddTwiddle[0]),
                             (double(z[1]) - double(z[5])) * double(K::shortOddTwiddle[1]),
                             (q - c * double(z[3])) * double(K::shortOddTwiddle[2])};
        Sample a[6];
        for (uint32_t k = 0; k < 3; ++k) {
            a[k] = Sample((e[k] + o[k]) * double(K::shortTwiddle[k]));
            a[5 - k] = Sample((e[k] - o[k]) * double(K::shortTwiddle[5 - k]));
        }

        // Window halves: outputs 0..5 use s0..s5, outputs 6..11 use s5..s0.
        const double out[12] = {a[3],          a[4],          a[5],          -double(a[5]),
                                -double(a[4]), -double(a[3]), -double(a[2]), -double(a[1]),
                                -double(a[0]), -double(a[0]), -double(a[1]), -double(a[2])};
        Sample* target = y + 6 + 6 * v;
        for (uint32_t i = 0; i < 12; ++i) {
            const double s = K::shortWindow[i < 6 ? i : 11 - i];
            target[i] = Sample(double(target[i]) + out[i] * s);
        }
    }
}

}  // namespace

template <class Sample>
ImdctTables<Sample>::ImdctTables() {
    const double pi = 3.14159265358979323846;
    double plain[4][36] = {};
    for (uint32_t i = 0; i < 36; ++i) {
        const double normal = std::sin((i + 0.5) * pi / 36);
        plain[0][i] = normal;
        plain[1][i] = i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin((i - 18 + 0.5) * pi / 12) : 0.0;
        plain[3][i] = i < 6 ? 0.0 : i < 12 ? std::sin((i - 6 + 0.5) * pi / 12) : i < 18 ? 1.0 : normal;
    }
    // Output i takes t[k] with k = 9 + i, 17 - (i - 9), 8 - (i - 18), i - 27
    // in its four quarters, negated in the first; t[k] is scaled by
    // -1 / (2 cos((2k + 1) pi / 72)) and by 1/2, undoing the doubling of the
    // 9-point kernels.
    for (uint32_t type = 0; type < 4; ++type) {
        for (uint32_t i = 0; i < 36; ++i) {
            const uint32_t k = i < 9 ? 9 + i : i < 18 ? 26 - i : i < 27 ? 26 - i : i - 27;
            const double sign = i < 9 ? -1.0 : 1.0;
            const double twiddle = -1.0 / (2.0 * std::cos((2 * k + 1) * pi / 72));
            window[type][i] = Sample(0.5 * sign * twiddle * plain[type][i]);
        }
    }
}

template <class Sample>
void inverseMdct(const ImdctTables<Sample>& tables, const GranuleInfo& info, Sample* spectrum, Sample* overlap,
                 Sample* subbandSamples) {
    const uint32_t blockType = info.window_switching_flag ? info.block_type : 0;
    // The two lowest subbands of a mixed block are long blocks.
    auto typeOf = [&](uint32_t sb) {
        return info.window_switching_flag && info.mixed_block_flag && sb < 2 ? 0 : blockType;
    };
    uint32_t widest = 2;
    LongTransforms<Sample> widestTransforms = longTransformsTwo<Sample>;
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx512) {
        widest = 8, widestTransforms = longTransformsEight<Sample>;
    } else if (simd::active() >= simd::Level::avx) {
        widest = 4, widestTransforms = longTransformsFour<Sample>;
    }
#endif
    // Subbands from top on hold no spectral values.  They transform to zeros,
    // so their output is the overlap alone (the upper subbands of most
    // granules).  The few empty ones below top, which make it a whole number
    // of vectors, are transformed like the others: zeros in give zeros out,
    // equal in value.
    // (A value is zero when its bits but the sign are; a subband's are
    // gathered by OR, which the compiler runs in vectors.)
    using Bits = std::conditional_t<sizeof(Sample) == 8, uint64_t, uint32_t>;
    uint32_t top = 32;
    for (; top > 0; --top) {
        Bits bits = 0;
        for (uint32_t i = 18 * (top - 1); i < 18 * top; ++i) {
            Bits value;
            std::memcpy(&value, spectrum + i, sizeof value);
            bits |= value;
        }
        if (bits << 1) break;
    }
    top = std::min<uint32_t>(32, (top + widest - 1) / widest * widest);
    // Negating is multiplying by -1, exactly, which the compiler also runs in
    // vectors.
    for (uint32_t i = 0; i < 18; ++i) {
        for (uint32_t sb = top; sb < 32; ++sb) {
            subbandSamples[32 * i + sb] = overlap[32 * i + sb] * Sample(i & sb & 1 ? -1 : 1);
            overlap[32 * i + sb] = Sample(0);
        }
    }

    for (uint32_t sb = 0; sb < top;) {
        const uint32_t type = typeOf(sb);
        if (type == 2) {
            Sample y[36];
            shortTransform(spectrum + 18 * sb, y);
            for (uint32_t i = 0; i < 18; ++i) {
                Sample* carry = overlap + 32 * i + sb;
                subbandSamples[32 * i + sb] = oriented(Sample(double(y[i]) + double(*carry)), i, sb);
                *carry = y[18 + i];
            }
            ++sb;
            continue;
        }
        // Long subbands of this block type, as many side by side as the
        // vectors take: all up to top (a whole number of vectors), or the two
        // long ones of a mixed block.
        uint32_t end = sb + 1;
        while (end < top && typeOf(end) == type) ++end;
        const Sample* window = tables.window[type];
        for (; end - sb >= widest; sb += widest) widestTransforms(spectrum, window, overlap, subbandSamples, sb);
        for (; sb < end; sb += 2) longTransformsTwo<Sample>(spectrum, window, overlap, subbandSamples, sb);
    }
}

template struct ImdctTables<double>;
template struct ImdctTables<float>;
template void inverseMdct<double>(const ImdctTables<double>&, const GranuleInfo&, double*, double*, double*);
template void inverseMdct<float>(const ImdctTables<float>&, const GranuleInfo&, float*, float*, float*);

}  // namespace qw
