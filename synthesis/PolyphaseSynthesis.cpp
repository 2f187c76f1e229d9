// Double-precision synthesis: a split 32-point cosine transform fills 64 ring
// values per time slot, and each output sample is a 16-tap window sum over
// the last 16 time slots held in the ring.
#include "synthesis/PolyphaseSynthesis.h"

#include <cmath>
#include <cstring>

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
// per vector with SSE2, four with AVX where the processor has it.  Each
// output keeps its own order of additions, so both give the same bits.
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));

// sums[0..count) += column[0..count) * factor, a vector at a time.
template <class Vector>
__attribute__((always_inline)) inline void addScaled(double* sums, const double* column, double factor, int count) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    for (int i = 0; i < count; i += lanes) {
        Vector sum, value;
        std::memcpy(&sum, sums + i, sizeof sum);
        std::memcpy(&value, column + i, sizeof value);
        sum += value * factor;
        std::memcpy(sums + i, &sum, sizeof sum);
    }
}

// sums[0..32) += taps[0..32) * window[0..32), a vector at a time.
template <class Vector>
__attribute__((always_inline)) inline void addProducts(double* sums, const double* taps, const double* window) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    for (int i = 0; i < 32; i += lanes) {
        Vector sum, tap, weight;
        std::memcpy(&sum, sums + i, sizeof sum);
        std::memcpy(&tap, taps + i, sizeof tap);
        std::memcpy(&weight, window + i, sizeof weight);
        sum += tap * weight;
        std::memcpy(sums + i, &sum, sizeof sum);
    }
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
    double even[8] = {}, odd[8] = {}, oddOdd[16] = {};
    for (int n = 0; n < 8; ++n) {
        addScaled<Vector>(even, c8[n], b[n], 8);
        addScaled<Vector>(odd, m8[n], e[n], 8);
    }
    for (int n = 0; n < 16; ++n) addScaled<Vector>(oddOdd, m16[n], d[n], 16);
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
    for (int j = 0; j < 32; ++j) sum[j] = 0;
    for (uint32_t t = 0; t < 16; ++t) addProducts<Vector>(sum, v + ((pos + 64 * t + (t & 1) * 32) & 1023), window[t]);
}

void PolyphaseSynthesis::slotSse2(const double* s, double* v, uint32_t pos, double* sum) const {
    slot<Pair>(s, v, pos, sum);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx"))) void PolyphaseSynthesis::slotAvx(const double* s, double* v, uint32_t pos,
                                                                double* sum) const {
    slot<Quad>(s, v, pos, sum);
}
#endif

int PolyphaseSynthesis::synthesize(const double* samples, int16_t* output, uint32_t channel, uint32_t stride) {
    const uint32_t pos = (ringPosition[channel] - 64) & 1023;
    ringPosition[channel] = pos;
    double sum[32];
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx) {
        slotAvx(samples, ring[channel], pos, sum);
    } else {
        slotSse2(samples, ring[channel], pos, sum);
    }
#else
    slotSse2(samples, ring[channel], pos, sum);
#endif
    int16_t* out = output + channel;
    for (uint32_t j = 0; j < 32; ++j) out[j * stride] = roundToPcm(sum[j]);
    return 0;
}

void PolyphaseSynthesis::synthesizeSlots(const double* const* channelSamples, uint32_t channels, uint32_t slots,
                                         int16_t* output) {
    for (uint32_t t = 0; t < slots; ++t) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            synthesize(channelSamples[ch] + 32 * t, output + 32 * channels * t, ch, channels);
        }
    }
}

}  // namespace qw
