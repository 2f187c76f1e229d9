// Single-precision synthesis.  Of the 64 values the matrixing yields per time
// slot only 33 are distinct (V[32 - k] = -V[k], V[48 - k] = V[48 + k]); they
// are stored column-wise in two half-buffers addressed by a 16-step ring
// position, so that every output sample is one 16-tap dot product with a
// pre-permuted, pre-scaled window.
#include "synthesis/FastSynthesis.h"

#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "synthesis/SimdLevel.h"
#include "synthesis/SynthesisWindow.h"

namespace qw {

namespace {

// The window sums run on several output samples side by side: two doubles per
// vector with SSE2, four with AVX where the processor has it.  Each sample
// keeps its own order of additions, so both give the same bits.
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));

constexpr int rowsPerColumn = FastSynthesis::rowsPerColumn;

// Adds (or subtracts) the products of count vectors of taps and values to
// the sums.  Loads go through memcpy: columns and window rows need not be
// aligned to a whole vector.
template <class Vector>
__attribute__((always_inline)) inline void accumulate(Vector* sums, const double* taps, const double* values, int count,
                                                      bool subtract) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
#pragma GCC unroll 16
    for (int j = 0; j < count; ++j) {
        Vector t, v;
        std::memcpy(&t, taps + lanes * j, sizeof t);
        std::memcpy(&v, values + lanes * j, sizeof v);
        if (subtract) {
            sums[j] -= t * v;
        } else {
            sums[j] += t * v;
        }
    }
}

// Sample j (0..16) sums tap k of row j over the columns k = 0..15 with
// alternating signs (sample 16: the even taps only); sample 32 - r (r =
// 1..15) subtracts the taps of row r read from the other end of the window.
// first gets samples 0..16 and backward the rows 0..15 (lanes past those
// are unused).
template <class Vector>
__attribute__((always_inline)) inline void windowSums(const double (*b)[rowsPerColumn], const double* window,
                                                      uint32_t q, double* first, double* backward) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    // Every loop is unrolled whole, so that the sums stay in registers.
    Vector forward[(17 + lanes - 1) / lanes] = {};
#pragma GCC unroll 16
    for (uint32_t k = 0; k < 16; k += 2) {
        accumulate(forward, window + 32 * ((16 - q + k) & 15), b[k], (17 + lanes - 1) / lanes, false);
        accumulate(forward, window + 32 * ((17 - q + k) & 15), b[k + 1], 16 / lanes, true);
    }
    std::memcpy(first, forward, sizeof forward);
    Vector back[16 / lanes] = {};
#pragma GCC unroll 16
    for (uint32_t k = 0; k < 16; ++k) accumulate(back, window + 32 * ((15 + q - k) & 15), b[k], 16 / lanes, true);
    std::memcpy(backward, back, sizeof back);
}

using WindowSums = void (*)(const double (*)[rowsPerColumn], const double*, uint32_t, double*, double*);

void windowSumsSse2(const double (*b)[rowsPerColumn], const double* window, uint32_t q, double* first,
                    double* backward) {
    windowSums<Pair>(b, window, q, first, backward);
}

#if defined(__x86_64__) || defined(__i386__)
// Window and ring values are single-precision values held in doubles, so
// their products are exact in double precision, and a fused multiply-add
// rounds exactly as the separate multiply and add do.  This copy lets the
// compiler fuse them: GCC on request; clang fuses within an expression by
// default and has no such per-function switch.
#if defined(__clang__)
#define QW_CONTRACT_FAST
#else
#define QW_CONTRACT_FAST __attribute__((optimize("fp-contract=fast")))
#endif
__attribute__((target("avx2,fma"))) QW_CONTRACT_FAST void windowSumsFma(const double (*b)[rowsPerColumn],
                                                                        const double* window, uint32_t q, double* first,
                                                                        double* backward) {
    windowSums<Quad>(b, window, q, first, backward);
}

__attribute__((target("avx"))) void windowSumsAvx(const double (*b)[rowsPerColumn], const double* window, uint32_t q,
                                                  double* first, double* backward) {
    windowSums<Quad>(b, window, q, first, backward);
}
#endif

// Rounds and clips eight sums at once exactly as roundToPcmByBias does: the
// same clamp to +-65536, the same 2^52 + 2^31 addition, the low 32 bits of
// each result less 2^31, saturated to 16 bits.
inline void roundEight(const double* sums, int16_t* pcm) {
#if defined(__SSE2__)
    const __m128d top = _mm_set1_pd(65536.0), bottom = _mm_set1_pd(-65536.0);
    const __m128d bias = _mm_set1_pd(4503601774854144.0);
    __m128i low[4];
    for (int i = 0; i < 4; ++i) {
        // minpd answers its second operand for a NaN, which so goes to +.
        const __m128d v = _mm_add_pd(_mm_max_pd(_mm_min_pd(_mm_loadu_pd(sums + 2 * i), top), bottom), bias);
        low[i] = _mm_shuffle_epi32(_mm_castpd_si128(v), _MM_SHUFFLE(3, 1, 2, 0));
    }
    const __m128i flip = _mm_set1_epi32(int32_t(0x80000000u));
    const __m128i first = _mm_xor_si128(_mm_unpacklo_epi64(low[0], low[1]), flip);
    const __m128i second = _mm_xor_si128(_mm_unpacklo_epi64(low[2], low[3]), flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm), _mm_packs_epi32(first, second));
#else
    for (int i = 0; i < 8; ++i) pcm[i] = roundToPcmByBias(sums[i]);
#endif
}

// The window sums for the instruction set in use, asked per call so that a
// capped level takes effect at once.
WindowSums windowSumsForLevel() {
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx2) return windowSumsFma;
    if (simd::active() >= simd::Level::avx) return windowSumsAvx;
#endif
    return windowSumsSse2;
}

}  // namespace

struct FastSynthesisTables {
    // 32768 D[i] rounded to single precision, kept as doubles because every
    // product is formed in double precision anyway.  The permuted window of
    // the design, entry 32 r + c (and 32 r + c + 16) = 32768 D[32 c + r] for
    // rows r = 0..16, is read here through that identity: tap c of row r is
    // window[32 c + r], so the rows of one tap are contiguous.
    double window[512];
    // 1 / (2 cos((2k + 1) pi / 2N)) for the transform sizes N = 32, 16, 8, 4, 2.
    // The sizes 4 and 2 hold their factors repeated, one per vector lane of
    // the blocks that stage works on side by side.
    float cos64[16];
    float cos32[8];
    float cos16[4];
    float cos8[4];  // k = 0, 1, 0, 1
    float cos4[4];  // k = 0 four times

    FastSynthesisTables() {
        for (int i = 0; i < 512; ++i) window[i] = double(float(32768.0 * synthesisWindow[i]));
        float* tablesBySize[5] = {cos64, cos32, cos16, cos8, cos4};
        for (int level = 0, n = 32; level < 5; ++level, n /= 2) {
            for (int k = 0; k < 4 || k < n / 2; ++k) {
                const int factor = k % (n / 2);
                tablesBySize[level][k] =
                    float(1.0 / (2.0 * std::cos((2 * factor + 1) * 3.14159265358979323846 / (2 * n))));
            }
        }
    }
};

namespace {

const FastSynthesisTables& sharedTables() {
    static const FastSynthesisTables tables;
    return tables;
}

// The 32-point cosine transform X[m] = sum of x[n] cos((2n + 1) m pi / 64),
// by halving: an N-point transform is the N/2-point transforms of the folded
// sums x[i] + x[N-1-i] and of the scaled folded differences
// (x[i] - x[N-1-i]) / (2 cos((2i + 1) pi / 2N)); its even outputs are the
// former's, its odd outputs the sums of neighbouring outputs of the latter.
// The stages run breadth-first over blocks kept in place (a block of N holds
// its sums, then its differences, and after the smaller transforms their
// outputs), four single-precision operations side by side.  Each is the
// operation on the same operands that a one-at-a-time order performs, so
// every intermediate, and the result, is the same float.
typedef float Floats __attribute__((vector_size(16)));

inline Floats load4(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store4(float* p, Floats v) { std::memcpy(p, &v, sizeof v); }

// Folds the blocks of N (N >= 8) values.
template <int N>
inline void fold(const float* in, float* out, const float* scale) {
    for (int b = 0; b < 32; b += N) {
        for (int j = 0; j < N / 2; j += 4) {
            const Floats front = load4(in + b + j), back = load4(in + b + N - 4 - j);
            const Floats mirror = __builtin_shufflevector(back, back, 3, 2, 1, 0);  // x[N-1-i]
            store4(out + b + j, front + mirror);
            store4(out + b + N / 2 + j, (front - mirror) * load4(scale + j));
        }
    }
}

// Folds the blocks of 4, two blocks a vector, and of 2, four a vector.  The
// 2-point results are already transforms: (sum, scaled difference).
inline void foldFours(const float* in, float* out, const float* scale) {
    for (int b = 0; b < 32; b += 8) {
        const Floats one = load4(in + b), two = load4(in + b + 4);
        const Floats front = __builtin_shufflevector(one, two, 0, 1, 4, 5);
        const Floats mirror = __builtin_shufflevector(one, two, 3, 2, 7, 6);
        const Floats sums = front + mirror, differences = (front - mirror) * load4(scale);
        store4(out + b, __builtin_shufflevector(sums, differences, 0, 1, 4, 5));
        store4(out + b + 4, __builtin_shufflevector(sums, differences, 2, 3, 6, 7));
    }
}

inline void foldTwos(const float* in, float* out, const float* scale) {
    for (int b = 0; b < 32; b += 8) {
        const Floats one = load4(in + b), two = load4(in + b + 4);
        const Floats first = __builtin_shufflevector(one, two, 0, 2, 4, 6);
        const Floats second = __builtin_shufflevector(one, two, 1, 3, 5, 7);
        const Floats sums = first + second, differences = (first - second) * load4(scale);
        store4(out + b, __builtin_shufflevector(sums, differences, 0, 4, 1, 5));
        store4(out + b + 4, __builtin_shufflevector(sums, differences, 2, 6, 3, 7));
    }
}

// Blocks of 4 holding (even0, even1, odd0, odd1) become
// (even0, odd0 + odd1, even1, odd1), two blocks at a time.
inline void combineFours(float* x) {
    for (int b = 0; b < 32; b += 8) {
        const Floats one = load4(x + b), two = load4(x + b + 4);
        const Floats sums =
            __builtin_shufflevector(one, two, 2, 6, 2, 6) + __builtin_shufflevector(one, two, 3, 7, 3, 7);
        store4(x + b, __builtin_shufflevector(one, sums, 0, 4, 1, 3));
        store4(x + b + 4, __builtin_shufflevector(two, sums, 0, 5, 1, 3));
    }
}

// Blocks of N (N >= 8) holding N/2 even then N/2 odd outputs become the
// transform: out[2m] = even[m], out[2m + 1] = odd[m] + odd[m + 1], and the
// last odd output alone at the end.
template <int N>
inline void combine(const float* in, float* out) {
    constexpr int vectors = N / 8;
    for (int b = 0; b < 32; b += N) {
        Floats even[vectors], odd[vectors];
        for (int j = 0; j < vectors; ++j) even[j] = load4(in + b + 4 * j), odd[j] = load4(in + b + N / 2 + 4 * j);
        for (int j = 0; j < vectors; ++j) {
            Floats sums;
            if (j + 1 < vectors) {
                sums = odd[j] + __builtin_shufflevector(odd[j], odd[j + 1], 1, 2, 3, 4);
            } else {
                sums = odd[j] + __builtin_shufflevector(odd[j], odd[j], 1, 2, 3, 3);
                sums = __builtin_shufflevector(sums, odd[j], 0, 1, 2, 7);  // the last stands alone
            }
            store4(out + b + 8 * j, __builtin_shufflevector(even[j], sums, 0, 4, 1, 5));
            store4(out + b + 8 * j + 4, __builtin_shufflevector(even[j], sums, 2, 6, 3, 7));
        }
    }
}

inline void cosineTransform32(const float* in, float* out, const FastSynthesisTables& tables) {
    float a[32], b[32];
    fold<32>(in, a, tables.cos64);
    fold<16>(a, b, tables.cos32);
    fold<8>(b, a, tables.cos16);
    foldFours(a, b, tables.cos8);
    foldTwos(b, a, tables.cos4);
    combineFours(a);
    combine<8>(a, a);
    combine<16>(a, a);
    combine<32>(a, out);
}

}  // namespace

FastSynthesis::FastSynthesis() : tables(&sharedTables()) { reset(); }

int FastSynthesis::reset() {
    std::memset(half, 0, sizeof half);
    return 0;
}

int FastSynthesis::synthesize(const float* samples, int16_t* output, uint32_t channel, uint32_t stride) {
    if (channel == 0) bufferOffset = (bufferOffset - 1) & 15;
    double(*h0)[rowsPerColumn] = half[channel][0];
    double(*h1)[rowsPerColumn] = half[channel][1];
    int16_t* out = output + channel;

    float x[33];
    cosineTransform32(samples, x, *tables);
    x[32] = 0;

    // P[k] = -X[16 - k] and Q[k] = -X[16 + k] go to column o of the rows
    // k = 0..16 of one half-buffer and the neighbouring column of the other;
    // the windowing reads the half-buffer that took Q.
    const uint32_t o = bufferOffset;
    const double(*b)[rowsPerColumn];
    uint32_t q;
    if (o & 1) {
        double* p = h1[(o + 1) & 15];
        double* qColumn = h0[o];
        for (int k = 0; k <= 16; ++k) {
            p[k] = -x[16 - k];
            qColumn[k] = -x[16 + k];
        }
        b = h0;
        q = o;
    } else {
        double* p = h0[o];
        double* qColumn = h1[o + 1];
        for (int k = 0; k <= 16; ++k) {
            p[k] = -x[16 - k];
            qColumn[k] = -x[16 + k];
        }
        b = h1;
        q = o + 1;
    }

    double sums[20], backSums[16];
    windowSumsForLevel()(b, tables->window, q, sums, backSums);
    int16_t forward[16], backward[16];
    roundEight(sums, forward);
    roundEight(sums + 8, forward + 8);
    roundEight(backSums, backward);
    roundEight(backSums + 8, backward + 8);
    for (uint32_t j = 0; j < 16; ++j) out[j * stride] = forward[j];
    out[16 * stride] = roundToPcmByBias(sums[16]);
    for (uint32_t j = 17; j < 32; ++j) out[j * stride] = backward[32 - j];
    return 0;
}

}  // namespace qw
