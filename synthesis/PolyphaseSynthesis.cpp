// Double-precision synthesis: a split 32-point cosine transform fills 64 ring
// values per time slot, and each output sample is a 16-tap window sum over
// the last 16 time slots held in the ring.
#include "synthesis/PolyphaseSynthesis.h"

#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "synthesis/InterleaveSlot.h"
#include "synthesis/SimdLevel.h"
#include "synthesis/SynthesisWindow.h"

namespace qw {

namespace {

constexpr double pi = 3.14159265358979323846;

// Builds an odd-odd cosine matrix M[r][n] = cos((2r + 1)(2n + 1) pi / (4 size))
// as B * T: T[a][n] = cos(2a x) / (2 cos x) with x = (2n + 1) pi / (4 size),
// and B sums rows r and r + 1 of T, since cos(2r x) + cos(2(r + 1) x) equals
// 2 cos x cos((2r + 1) x).
template <int size>
void buildOddMatrix(double (&m)[size][size]) {  // m[n][r]
    double t[size + 1][size];
    for (int a = 0; a <= size; ++a) {
        for (int n = 0; n < size; ++n) {
            const double x = (2 * n + 1) * pi / (4 * size);
            t[a][n] = std::cos(2 * a * x) / (2 * std::cos(x));
        }
    }
    for (int r = 0; r < size; ++r) {
        for (int n = 0; n < size; ++n) {
            double sum = 0;
            for (int a = 0; a <= size; ++a) sum += (a == r || a == r + 1 ? 1.0 : 0.0) * t[a][n];
            m[n][r] = sum;
        }
    }
}

}  // namespace

PolyphaseSynthesis::PolyphaseSynthesis() {
    for (int r = 0; r < 8; ++r) {
        for (int n = 0; n < 8; ++n) c8[n][r] = std::cos(r * (2 * n + 1) * pi / 16);
    }
    buildOddMatrix(m8);
    buildOddMatrix(m16);
    for (int j = 0; j < 32; ++j) {
        for (int t = 0; t < 16; ++t) window[t][j] = 32768.0 * synthesisWindow[32 * t + j];
    }
    reset();
}

int PolyphaseSynthesis::reset() {
    std::memset(ring, 0, sizeof ring);
    ringPosition[0] = ringPosition[1] = 64;
    return 0;
}

namespace {

// The sums of one time slot run on several outputs side by side: two doubles
// per vector with SSE2, four with AVX, eight with AVX-512.  Each output keeps
// its own order of additions, so all give the same bits.
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));
typedef double Octet __attribute__((vector_size(64), aligned(8), may_alias));

// sums[0..count) += table[n][0..count) * factor[n] for n = 0..rows-1 in turn,
// the sums held in vectors; the loops are unrolled whole, so that the sums
// stay in registers.
template <class Vector, int rows, int count>
__attribute__((always_inline)) inline void addScaledRows(double* out, const double (*table)[count],
                                                         const double* factor) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    Vector sums[count / lanes] = {};
#pragma GCC unroll 16
    for (int n = 0; n < rows; ++n) {
#pragma GCC unroll 4
        for (int i = 0; i < count / lanes; ++i) {
            Vector value;
            std::memcpy(&value, table[n] + lanes * i, sizeof value);
            sums[i] += value * factor[n];
        }
    }
    std::memcpy(out, sums, sizeof sums);
}

}  // namespace

// X[m] = sum over n of S[n] cos((2n + 1) m pi / 64), m = 0..31, then the 64
// ring values at v, and the 32 window sums of the slot whose values start at
// pos.  Folding the input splits the transform into an odd part (d) and two
// 8-point parts (b, e).
template <class Vector>
__attribute__((always_inline)) inline void PolyphaseSynthesis::slot(const double* s, double* v, uint32_t pos,
                                                                    double* sum) const {
    double a[16], d[16], b[8], e[8], x[32];
    for (int n = 0; n < 16; ++n) {
        a[n] = s[n] + s[31 - n];
        d[n] = s[n] - s[31 - n];
    }
    for (int n = 0; n < 8; ++n) {
        b[n] = a[n] + a[15 - n];
        e[n] = a[n] - a[15 - n];
    }
    // Each folded value multiplies a whole matrix row: through memory it is
    // broadcast by a load, where in a register it would take two shuffles.
    asm volatile("" : : "r"(b), "r"(e), "r"(d) : "memory");
    double even[8], odd[8], oddOdd[16];
    addScaledRows<Vector, 8>(even, c8, b);
    addScaledRows<Vector, 8>(odd, m8, e);
    addScaledRows<Vector, 16>(oddOdd, m16, d);
    for (int r = 0; r < 8; ++r) {
        x[4 * r] = even[r];
        x[4 * r + 2] = odd[r];
    }
    for (int r = 0; r < 16; ++r) x[2 * r + 1] = oddOdd[r];
    // The 64 ring values follow from X by the symmetries of the cosine.
    double* slotValues = v + pos;
    for (int k = 0; k < 16; ++k) {
        slotValues[k] = x[16 + k];
        slotValues[17 + k] = -x[31 - k];
        slotValues[32 + k] = -x[16 - k];
        slotValues[48 + k] = -x[k];
    }
    slotValues[16] = 0;

    // Tap t of sample j reads the slot t time slots back: the first half of
    // an even slot's values, the second half of an odd one's.  The 32 values
    // a tap reads are contiguous, since pos is a multiple of 64.
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    Vector sums[32 / lanes] = {};
#pragma GCC unroll 16
    for (uint32_t t = 0; t < 16; ++t) {
        const double* taps = v + ((pos + 64 * t + (t & 1) * 32) & 1023);
#pragma GCC unroll 16
        for (int i = 0; i < 32 / lanes; ++i) {
            Vector tap, weight;
            std::memcpy(&tap, taps + lanes * i, sizeof tap);
            std::memcpy(&weight, window[t] + lanes * i, sizeof weight);
            sums[i] += tap * weight;
        }
    }
    std::memcpy(sum, sums, sizeof sums);
}

// The sums are rounded and clipped as roundToPcm does: a sum beyond +-65536
// (or a NaN) first becomes -65536 or 65536, which clip alike, then the
// conversion rounds to the nearest integer, ties to even, in the current
// rounding mode like nearbyint, and the packing saturates to 16 bits.  (maxpd
// answers its second operand for a NaN, which so goes to -.)
void PolyphaseSynthesis::slotSse2(const double* s, double* v, uint32_t pos, int16_t* pcm) const {
    alignas(16) double sum[32];
    slot<Pair>(s, v, pos, sum);
#if defined(__SSE2__)
    const __m128d top = _mm_set1_pd(65536.0), bottom = _mm_set1_pd(-65536.0);
    for (int j = 0; j < 32; j += 8) {
        __m128i words[4];
        for (int i = 0; i < 4; ++i) {
            words[i] = _mm_cvtpd_epi32(_mm_min_pd(_mm_max_pd(_mm_load_pd(sum + j + 2 * i), bottom), top));
        }
        const __m128i first = _mm_unpacklo_epi64(words[0], words[1]);
        const __m128i second = _mm_unpacklo_epi64(words[2], words[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + j), _mm_packs_epi32(first, second));
    }
#else
    for (int j = 0; j < 32; ++j) pcm[j] = roundToPcm(sum[j]);
#endif
}

#if defined(__x86_64__) || defined(__i386__)
QW_TARGET_AVX void PolyphaseSynthesis::slotAvx(const double* s, double* v, uint32_t pos, int16_t* pcm) const {
    alignas(32) double sum[32];
    slot<Quad>(s, v, pos, sum);
    const __m256d top = _mm256_set1_pd(65536.0), bottom = _mm256_set1_pd(-65536.0);
    for (int j = 0; j < 32; j += 8) {
        __m128i words[2];
        for (int i = 0; i < 2; ++i) {
            words[i] = _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(_mm256_load_pd(sum + j + 4 * i), bottom), top));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + j), _mm_packs_epi32(words[0], words[1]));
    }
}

// The products are not exact: no fusing where the level has fused
// multiply-adds.
QW_TARGET_AVX512 QW_NO_FUSING void PolyphaseSynthesis::slotAvx512(const double* s, double* v, uint32_t pos,
                                                                  int16_t* pcm) const {
    QW_NO_FUSING_HERE
    alignas(64) double sum[32];
    slot<Octet>(s, v, pos, sum);
    // (Masked conversions and generic clamps: the plain intrinsics trip the
    // compiler's uninitialised-value warning inside its own header.)
    typedef int32_t Words __attribute__((vector_size(32)));
    for (int j = 0; j < 32; j += 16) {
        Words words[2];
        for (int i = 0; i < 2; ++i) {
            Octet x;
            std::memcpy(&x, sum + j + 8 * i, sizeof x);
            x = x > -65536.0 ? x : -65536.0;
            x = x < 65536.0 ? x : 65536.0;
            words[i] = Words(_mm512_maskz_cvtpd_epi32(__mmask8(0xFF), __m512d(x)));
        }
        const __m512i both =
            __m512i(__builtin_shufflevector(words[0], words[1], 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(pcm + j), _mm512_maskz_cvtsepi32_epi16(__mmask16(0xFFFF), both));
    }
}
#endif

int PolyphaseSynthesis::synthesize(const double* samples, int16_t* output, uint32_t channel, uint32_t stride) {
    int16_t pcm[32];
    synthesizeOne(slotForLevel(), samples, channel, pcm);
    for (uint32_t j = 0; j < 32; ++j) output[channel + j * stride] = pcm[j];
    return 0;
}

void PolyphaseSynthesis::synthesizeSlots(const double* const* channelSamples, uint32_t channels, uint32_t slots,
                                         int16_t* output) {
    const Slot kernel = slotForLevel();
    for (uint32_t t = 0; t < slots; ++t) {
        alignas(16) int16_t pcm[2][32];
        for (uint32_t ch = 0; ch < channels; ++ch) synthesizeOne(kernel, channelSamples[ch] + 32 * t, ch, pcm[ch]);
        interleaveSlot(pcm, channels, output + 32 * channels * t);
    }
}

PolyphaseSynthesis::Slot PolyphaseSynthesis::slotForLevel() {
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx512) return &PolyphaseSynthesis::slotAvx512;
    if (simd::active() >= simd::Level::avx) return &PolyphaseSynthesis::slotAvx;
#endif
    return &PolyphaseSynthesis::slotSse2;
}

void PolyphaseSynthesis::synthesizeOne(Slot kernel, const double* samples, uint32_t channel, int16_t* pcm) {
    const uint32_t pos = (ringPosition[channel] - 64) & 1023;
    ringPosition[channel] = pos;
    (this->*kernel)(samples, ring[channel], pos, pcm);
}

}  // namespace qw
