// Vector lanes for the signal-path stages: a stage that runs one value
// (line, subband) per lane performs in every lane exactly the operations a
// value alone would, so the lane count never changes a bit.  Values of the
// decoder's precision are widened to double for products and sums and
// rounded back when stored, as the scalar stages do.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "synthesis/SimdLevel.h"

namespace qw {

// The helpers and the kernels that use them are always inlined into the
// kernels' entry points, so no vector crosses a call and the compiler's note
// on wide vector arguments without AVX does not apply (in every file that
// uses lanes).
#pragma GCC diagnostic ignored "-Wpsabi"

#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
// Four or eight floats to doubles in one instruction, where GCC's generic
// conversion would take them apart (clang makes the one instruction itself).
typedef float FourFloats __attribute__((vector_size(16)));
typedef double FourDoubles __attribute__((vector_size(32)));
typedef float EightFloats __attribute__((vector_size(32)));
typedef double EightDoubles __attribute__((vector_size(64)));
QW_TARGET_AVX inline FourDoubles widenFour(FourFloats v) { return FourDoubles(_mm256_cvtps_pd(__m128(v))); }
QW_TARGET_AVX512 inline EightDoubles widenEight(EightFloats v) {
    // The masked form: the plain one trips the compiler's uninitialised-value
    // warning inside its own header.
    return EightDoubles(_mm512_maskz_cvtps_pd(__mmask8(0xFF), __m256(v)));
}
#endif

template <class Sample, int N>
struct Lanes {
    typedef double Doubles __attribute__((vector_size(8 * N), aligned(8)));
    // Values of the variant's precision.  A single sum or product of two of
    // them, formed in double and rounded to float, is the float sum or
    // product itself (double has more than twice float's precision, so the
    // two roundings never differ from one); such steps run in float lanes.
    typedef Sample Samples __attribute__((vector_size(sizeof(Sample) * N), aligned(sizeof(Sample))));
    // The same at the vector's own alignment, for arrays of them on the stack.
    typedef Sample AlignedSamples __attribute__((vector_size(sizeof(Sample) * N)));

    __attribute__((always_inline)) static Doubles widen(Samples v) {
#if (defined(__x86_64__) || defined(__i386__)) && !defined(__clang__)
        if constexpr (std::is_same_v<Sample, float> && N == 4) return Doubles(widenFour(FourFloats(v)));
        if constexpr (std::is_same_v<Sample, float> && N == 8) return Doubles(widenEight(EightFloats(v)));
#endif
        return __builtin_convertvector(v, Doubles);
    }
    // A value rounded to the variant's precision, as storing it as a Sample does.
    __attribute__((always_inline)) static Samples stored(Doubles v) { return __builtin_convertvector(v, Samples); }

    __attribute__((always_inline)) static Samples load(const Sample* p) {
        Samples v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    __attribute__((always_inline)) static void store(Sample* p, Samples v) { std::memcpy(p, &v, sizeof v); }

    // The lanes in reverse order.
    __attribute__((always_inline)) static Samples reversed(Samples v) {
        return reversed(v, std::make_index_sequence<N>());
    }
    template <std::size_t... I>
    __attribute__((always_inline)) static Samples reversed(Samples v, std::index_sequence<I...>) {
        return __builtin_shufflevector(v, v, (N - 1 - I)...);
    }
};

// Lane i of vector j becomes lane j of vector i, for N vectors of N lanes: N
// halving rounds, each interleaving the front half of the vectors with the
// back half.
template <class Vector, std::size_t... I>
__attribute__((always_inline)) inline Vector interleave(Vector a, Vector b, bool high, std::index_sequence<I...>) {
    constexpr int n = sizeof...(I);
    return high ? __builtin_shufflevector(a, b, ((I & 1) ? n + n / 2 + I / 2 : n / 2 + I / 2)...)
                : __builtin_shufflevector(a, b, ((I & 1) ? n + I / 2 : I / 2)...);
}

template <int N, class Vector>
__attribute__((always_inline)) inline void transposeSquare(Vector* v) {
    for (int round = 1; round < N; round *= 2) {
        Vector out[N];
        for (int i = 0; i < N / 2; ++i) {
            out[2 * i] = interleave(v[i], v[i + N / 2], false, std::make_index_sequence<N>());
            out[2 * i + 1] = interleave(v[i], v[i + N / 2], true, std::make_index_sequence<N>());
        }
        for (int i = 0; i < N; ++i) v[i] = out[i];
    }
}

}  // namespace qw
