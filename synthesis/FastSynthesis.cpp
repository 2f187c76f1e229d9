// Single-precision synthesis.  Of the 64 values the matrixing yields per time
// slot only 33 are distinct (V[32 - k] = -V[k], V[48 - k] = V[48 + k]); they
// are stored column-wise in two half-buffers addressed by a 16-step ring
// position, so that every output sample is one 16-tap dot product with a
// pre-permuted, pre-scaled window.
#include "synthesis/FastSynthesis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "synthesis/InterleaveSlot.h"
#include "synthesis/SimdLevel.h"
#include "synthesis/SynthesisWindow.h"

namespace qw {

struct FastSynthesisTables {
    // 32768 D[i] rounded to single precision, kept as doubles because every
    // product is formed in double precision anyway.  The permuted window of
    // the design, entry 32 r + c (and 32 r + c + 16) = 32768 D[32 c + r] for
    // rows r = 0..16, is read here through that identity: tap c of row r is
    // window[32 c + r], so the rows of one tap are contiguous.  The 16 taps
    // are stored twice over, so that 16 taps in a row from any tap on need
    // no wrapping: tap c + 16 is tap c again.
    alignas(64) double window[2 * 512];
    // 1 / (2 cos((2k + 1) pi / 2N)) for the transform sizes N = 32, 16, 8, 4, 2
    // (k < N / 2), by size.
    float cosines[5][16];

    FastSynthesisTables() {
        for (int i = 0; i < 1024; ++i) window[i] = double(float(32768.0 * synthesisWindow[i & 511]));
        for (int level = 0, n = 32; level < 5; ++level, n /= 2) {
            for (int k = 0; k < n / 2; ++k) {
                cosines[level][k] = float(1.0 / (2.0 * std::cos((2 * k + 1) * 3.14159265358979323846 / (2 * n))));
            }
        }
    }
};

namespace {

constexpr int rowsPerColumn = FastSynthesis::rowsPerColumn;

const FastSynthesisTables& sharedTables() {
    static const FastSynthesisTables tables;
    return tables;
}

// ---- The 32-point cosine transform ----------------------------------------
//
// X[m] = sum of x[n] cos((2n + 1) m pi / 64), by halving: an N-point transform
// is the N/2-point transforms of the folded sums x[i] + x[N-1-i] and of the
// scaled folded differences (x[i] - x[N-1-i]) / (2 cos((2i + 1) pi / 2N)); its
// even outputs are the former's, its odd outputs the sums of neighbouring
// outputs of the latter.  Value is one float, or a vector of floats holding
// the same step of independent transforms (one time slot per lane): every
// lane performs the same single-precision operations on the same operands,
// in whatever order independent steps run, so every intermediate, and the
// result, is the same float.

// The N-point transform of in, by one fold, the two N/2-point transforms,
// and the combination (the last odd output stands alone).  Depth first, so
// that a smaller transform's values stay in registers.  scales[0] holds the
// fold's factors for N, scales[1] those for N/2, and so on.
template <int N, class Value>
__attribute__((always_inline)) inline void cosineTransform(const Value* in, Value* out, const float (*scales)[16]) {
    if constexpr (N == 2) {
        out[0] = in[0] + in[1];
        out[1] = (in[0] - in[1]) * scales[0][0];
    } else {
        Value folded[N], half[N];
        for (int j = 0; j < N / 2; ++j) {
            folded[j] = in[j] + in[N - 1 - j];
            folded[N / 2 + j] = (in[j] - in[N - 1 - j]) * scales[0][j];
        }
        cosineTransform<N / 2>(folded, half, scales + 1);
        cosineTransform<N / 2>(folded + N / 2, half + N / 2, scales + 1);
        for (int m = 0; m < N / 2; ++m) out[2 * m] = half[m];
        for (int m = 0; m + 1 < N / 2; ++m) out[2 * m + 1] = half[N / 2 + m] + half[N / 2 + m + 1];
        out[N - 1] = half[N - 1];
    }
}

template <class Value>
__attribute__((always_inline)) inline void cosineTransform32(const Value* in, Value* out,
                                                             const FastSynthesisTables& tables) {
    cosineTransform<32>(in, out, tables.cosines);
}

// Lanes of four floats (SSE2) or eight (AVX), and the same for loads and
// stores at any float boundary.
typedef float Floats4 __attribute__((vector_size(16)));
typedef float Floats8 __attribute__((vector_size(32)));
typedef float UnalignedFloats4 __attribute__((vector_size(16), aligned(4), may_alias));
typedef float UnalignedFloats8 __attribute__((vector_size(32), aligned(4), may_alias));

__attribute__((always_inline)) inline void load(Floats4& v, const float* p) {
    v = *reinterpret_cast<const UnalignedFloats4*>(p);
}
__attribute__((always_inline)) inline void load(Floats8& v, const float* p) {
    v = *reinterpret_cast<const UnalignedFloats8*>(p);
}
// By reference: a wide vector passed by value to a function built without
// AVX changes the calling convention, which clang refuses.
__attribute__((always_inline)) inline void store(float* p, const Floats4& v) {
    *reinterpret_cast<UnalignedFloats4*>(p) = v;
}
__attribute__((always_inline)) inline void store(float* p, const Floats8& v) {
    *reinterpret_cast<UnalignedFloats8*>(p) = v;
}

// Transposes a square of floats: lane i of vector j of out is lane j of
// vector i of in.
__attribute__((always_inline)) inline void transpose(const Floats4* in, Floats4* out) {
    const Floats4 t0 = __builtin_shufflevector(in[0], in[1], 0, 4, 1, 5);
    const Floats4 t1 = __builtin_shufflevector(in[0], in[1], 2, 6, 3, 7);
    const Floats4 t2 = __builtin_shufflevector(in[2], in[3], 0, 4, 1, 5);
    const Floats4 t3 = __builtin_shufflevector(in[2], in[3], 2, 6, 3, 7);
    out[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    out[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    out[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    out[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

__attribute__((always_inline)) inline void transpose(const Floats8* in, Floats8* out) {
    Floats8 u[8], v[8];
    for (int i = 0; i < 8; i += 2) {
        u[i] = __builtin_shufflevector(in[i], in[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        u[i + 1] = __builtin_shufflevector(in[i], in[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    // v[j] (j < 4) holds columns j and j + 4 of rows 0..3, v[4 + j] of rows 4..7.
    for (int half = 0; half < 8; half += 4) {
        v[half + 0] = __builtin_shufflevector(u[half + 0], u[half + 2], 0, 1, 8, 9, 4, 5, 12, 13);
        v[half + 1] = __builtin_shufflevector(u[half + 0], u[half + 2], 2, 3, 10, 11, 6, 7, 14, 15);
        v[half + 2] = __builtin_shufflevector(u[half + 1], u[half + 3], 0, 1, 8, 9, 4, 5, 12, 13);
        v[half + 3] = __builtin_shufflevector(u[half + 1], u[half + 3], 2, 3, 10, 11, 6, 7, 14, 15);
    }
    for (int j = 0; j < 4; ++j) {
        out[j] = __builtin_shufflevector(v[j], v[4 + j], 0, 1, 2, 3, 8, 9, 10, 11);
        out[4 + j] = __builtin_shufflevector(v[j], v[4 + j], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}

// What the ring takes from the transform X of one time slot, in the order
// the ring stores it: P[k] = -X[16 - k] for k = 0..16, then Q[k] = -X[16 + k]
// for k = 0..15 (Q[16] = -X[32] = -0 always).
constexpr int ringValues = 33;

// The transforms of as many time slots as a vector has lanes: rows[lane]
// holds the 32 subband samples of one slot, out[lane] receives its ring values.
template <class Floats>
__attribute__((always_inline)) inline void transformLanes(const float* const* rows, float (*out)[ringValues],
                                                          const FastSynthesisTables& tables) {
    constexpr int lanes = sizeof(Floats) / sizeof(float);
    Floats x[32], y[32];
#pragma GCC unroll 8
    for (int block = 0; block < 32; block += lanes) {
        Floats square[lanes];
#pragma GCC unroll 8
        for (int lane = 0; lane < lanes; ++lane) load(square[lane], rows[lane] + block);
        transpose(square, x + block);
    }
    cosineTransform32(x, y, tables);
    // Negation is exact, so negating here equals negating each lane's value.
    Floats ring[32];
    for (int k = 0; k < 16; ++k) ring[k] = -y[16 - k], ring[16 + k] = -y[16 + k];
#pragma GCC unroll 8
    for (int block = 0; block < 32; block += lanes) {
        Floats square[lanes];
        transpose(ring + block, square);
        const int at = block < 16 ? block : block + 1;  // P[16] sits between the two
#pragma GCC unroll 8
        for (int lane = 0; lane < lanes; ++lane) store(out[lane] + at, square[lane]);
    }
    const Floats last = -y[0];
    for (int lane = 0; lane < lanes; ++lane) out[lane][16] = last[lane];
}

using TransformLanes = void (*)(const float* const*, float (*)[ringValues], const FastSynthesisTables&);

void transformFour(const float* const* rows, float (*out)[ringValues], const FastSynthesisTables& tables) {
    transformLanes<Floats4>(rows, out, tables);
}

#if defined(__x86_64__) || defined(__i386__)
QW_TARGET_AVX void transformEight(const float* const* rows, float (*out)[ringValues],
                                  const FastSynthesisTables& tables) {
    transformLanes<Floats8>(rows, out, tables);
}
#endif

// ---- Window sums -------------------------------------------------------------
//
// They run on several output samples side by side: two doubles per vector
// with SSE2, four with AVX, eight with AVX-512.  Each sample keeps its own
// order of additions, so all give the same bits.
typedef double Pair __attribute__((vector_size(16), aligned(8), may_alias));
typedef double Quad __attribute__((vector_size(32), aligned(8), may_alias));
typedef double Octet __attribute__((vector_size(64), aligned(8), may_alias));

// Sample j (0..16) sums tap k of row j over the columns k = 0..15 with
// alternating signs (sample 16: the even taps only); sample 32 - r (r =
// 1..15) subtracts the taps of row r read from the other end of the window.
// first gets samples 0..16 and backward the rows 0..15.  The rows go in
// groups of groupRows, each column's values of a group loaded once for both
// of its sums; every loop is unrolled whole, so that the sums stay in
// registers.
template <class Vector, int groupRows>
__attribute__((always_inline)) inline void windowSums(const double (*b)[rowsPerColumn], const double* window,
                                                      uint32_t q, double* first, double* backward) {
    constexpr int lanes = sizeof(Vector) / sizeof(double);
    constexpr int count = groupRows / lanes;
    double middle = 0;
#pragma GCC unroll 2
    for (int row = 0; row < 16; row += groupRows) {
        Vector forward[count] = {}, back[count] = {};
#pragma GCC unroll 16
        for (uint32_t k = 0; k < 16; ++k) {
            // Taps (16 - q + k) mod 16 and (15 + q - k) mod 16.
            const double* forwardTaps = window + 32 * (16 - q) + 32 * k;
            const double* backTaps = window + 32 * (15 + q) - 32 * k + row;
#pragma GCC unroll 8
            for (int i = 0; i < count; ++i) {
                Vector value, forwardTap, backTap;
                std::memcpy(&value, b[k] + row + lanes * i, sizeof value);
                std::memcpy(&forwardTap, forwardTaps + row + lanes * i, sizeof forwardTap);
                std::memcpy(&backTap, backTaps + lanes * i, sizeof backTap);
                if (k & 1) {
                    forward[i] -= forwardTap * value;
                } else {
                    forward[i] += forwardTap * value;
                }
                back[i] -= backTap * value;
            }
            if (row == 0 && !(k & 1)) middle += forwardTaps[16] * b[k][16];
        }
        std::memcpy(first + row, forward, sizeof forward);
        std::memcpy(backward + row, back, sizeof back);
    }
    first[16] = middle;
}

// The 32 samples of a slot from its sums: samples 0..16 from first, samples
// 17..31 from the backward sums of the rows 15..1.  Each rounds and clips
// exactly as roundToPcmByBias does: the same clamp to +-65536 (minpd answers
// its second operand for a NaN, which so goes to +), the same 2^52 + 2^31
// addition, the low 32 bits of the result less 2^31, saturated to 16 bits;
// eight at a time with the vectors of each level.
struct RoundSse2 {
    static void eight(const double* sums, int16_t* pcm) {
#if defined(__SSE2__)
        const __m128d top = _mm_set1_pd(65536.0), bottom = _mm_set1_pd(-65536.0);
        const __m128d bias = _mm_set1_pd(4503601774854144.0);
        __m128i low[4];
        for (int i = 0; i < 4; ++i) {
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

    static void slot(const double* first, const double* backward, int16_t* pcm) {
        int16_t back[16];
        eight(first, pcm);
        eight(first + 8, pcm + 8);
        eight(backward, back);
        eight(backward + 8, back + 8);
        pcm[16] = roundToPcmByBias(first[16]);
        for (int j = 17; j < 32; ++j) pcm[j] = back[32 - j];
    }
};

#if defined(__x86_64__) || defined(__i386__)
// The eight samples in reverse order, then the two halves of the last 16
// samples: sample 16, the rows 15..9, and the rows 8..1.
QW_TARGET_AVX2 inline void storeLastSixteen(const double* first, __m128i rows0to7, __m128i rows8to15, int16_t* pcm) {
    const __m128i reverse = _mm_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    const __m128i high = _mm_shuffle_epi8(rows8to15, reverse), low = _mm_shuffle_epi8(rows0to7, reverse);
    const __m128i middle = _mm_insert_epi16(_mm_slli_si128(high, 2), roundToPcmByBias(first[16]), 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 16), middle);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 24), _mm_alignr_epi8(low, high, 14));
}

struct RoundAvx2 {
    QW_TARGET_AVX2 static __m128i eight(const double* sums) {
        const __m256d top = _mm256_set1_pd(65536.0), bottom = _mm256_set1_pd(-65536.0);
        const __m256d bias = _mm256_set1_pd(4503601774854144.0);
        const __m256d a = _mm256_add_pd(_mm256_max_pd(_mm256_min_pd(_mm256_loadu_pd(sums), top), bottom), bias);
        const __m256d b = _mm256_add_pd(_mm256_max_pd(_mm256_min_pd(_mm256_loadu_pd(sums + 4), top), bottom), bias);
        // The low halves of a then b, in order.
        const __m256 halves = _mm256_shuffle_ps(_mm256_castpd_ps(a), _mm256_castpd_ps(b), _MM_SHUFFLE(2, 0, 2, 0));
        __m256i words = _mm256_permute4x64_epi64(_mm256_castps_si256(halves), _MM_SHUFFLE(3, 1, 2, 0));
        words = _mm256_xor_si256(words, _mm256_set1_epi32(int32_t(0x80000000u)));
        return _mm_packs_epi32(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
    }

    QW_TARGET_AVX2 static void slot(const double* first, const double* backward, int16_t* pcm) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm), eight(first));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 8), eight(first + 8));
        storeLastSixteen(first, eight(backward), eight(backward + 8), pcm);
    }
};

struct RoundAvx512 {
    // (Generic clamps and masked conversions: the plain intrinsics trip the
    // compiler's uninitialised-value warning inside its own header.)
    QW_TARGET_AVX512 static __m128i eight(const double* sums) {
        Octet x;
        std::memcpy(&x, sums, sizeof x);
        x = x < 65536.0 ? x : 65536.0;
        x = x > -65536.0 ? x : -65536.0;
        x += 4503601774854144.0;
        __m256i words = _mm512_maskz_cvtepi64_epi32(__mmask8(0xFF), __m512i(x));
        words = _mm256_xor_si256(words, _mm256_set1_epi32(int32_t(0x80000000u)));
        return _mm256_maskz_cvtsepi32_epi16(__mmask8(0xFF), words);
    }

    QW_TARGET_AVX512 static void slot(const double* first, const double* backward, int16_t* pcm) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm), eight(first));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pcm + 8), eight(first + 8));
        storeLastSixteen(first, eight(backward), eight(backward + 8), pcm);
    }
};
#endif

// One time slot of one channel after its transform: the ring values go into
// the half-buffers h0, h1 at ring position o, and the 32 samples to pcm.
template <class Vector, int groupRows, class Round>
__attribute__((always_inline)) inline void windowSlot(double (*h0)[rowsPerColumn], double (*h1)[rowsPerColumn],
                                                      uint32_t o, const float* values, const double* window,
                                                      int16_t* pcm) {
    // P goes to column o of one half-buffer, Q to the neighbouring column of
    // the other; the windowing reads the half-buffer that took Q.
    const bool odd = o & 1;
    double* p = odd ? h1[(o + 1) & 15] : h0[o];
    double* q = odd ? h0[o] : h1[o + 1];
    for (int k = 0; k < 17; ++k) p[k] = values[k];
    for (int k = 0; k < 16; ++k) q[k] = values[17 + k];
    q[16] = -0.0;

    alignas(16) double first[17], backward[16];
    windowSums<Vector, groupRows>(odd ? h0 : h1, window, odd ? o : o + 1, first, backward);
    Round::slot(first, backward, pcm);
}

using WindowSlot = void (*)(double (*)[rowsPerColumn], double (*)[rowsPerColumn], uint32_t, const float*, const double*,
                            int16_t*);

void windowSlotSse2(double (*h0)[rowsPerColumn], double (*h1)[rowsPerColumn], uint32_t o, const float* values,
                    const double* window, int16_t* pcm) {
    windowSlot<Pair, 8, RoundSse2>(h0, h1, o, values, window, pcm);
}

#if defined(__x86_64__) || defined(__i386__)
QW_TARGET_AVX void windowSlotAvx(double (*h0)[rowsPerColumn], double (*h1)[rowsPerColumn], uint32_t o,
                                 const float* values, const double* window, int16_t* pcm) {
    windowSlot<Quad, 16, RoundSse2>(h0, h1, o, values, window, pcm);
}

// Window and ring values are single-precision values held in doubles, so
// their products are exact in double precision, and a fused multiply-add
// rounds exactly as the separate multiply and add do.  (Nothing else in these
// kernels multiplies.)
QW_TARGET_AVX2 QW_FUSE_EXACT_PRODUCTS void windowSlotFma(double (*h0)[rowsPerColumn], double (*h1)[rowsPerColumn],
                                                         uint32_t o, const float* values, const double* window,
                                                         int16_t* pcm) {
    windowSlot<Quad, 16, RoundAvx2>(h0, h1, o, values, window, pcm);
}

QW_TARGET_AVX512 QW_FUSE_EXACT_PRODUCTS void windowSlotAvx512(double (*h0)[rowsPerColumn], double (*h1)[rowsPerColumn],
                                                              uint32_t o, const float* values, const double* window,
                                                              int16_t* pcm) {
    windowSlot<Octet, 16, RoundAvx512>(h0, h1, o, values, window, pcm);
}
#endif

// The kernels for the instruction set in use, asked per call so that a
// capped level takes effect at once.
struct Kernels {
    int lanes;  // time slots transformed side by side
    TransformLanes transform;
    WindowSlot window;
};

constexpr int widestLanes = 8;

Kernels kernelsForLevel() {
#if defined(__x86_64__) || defined(__i386__)
    switch (simd::active()) {
        case simd::Level::avx512:
            return {8, transformEight, windowSlotAvx512};
        case simd::Level::avx2:
            return {8, transformEight, windowSlotFma};
        case simd::Level::avx:
            return {8, transformEight, windowSlotAvx};
        case simd::Level::sse2:
            break;
    }
#endif
    return {4, transformFour, windowSlotSse2};
}

}  // namespace

FastSynthesis::FastSynthesis() : tables(&sharedTables()) { reset(); }

int FastSynthesis::reset() {
    std::memset(half, 0, sizeof half);
    return 0;
}

int FastSynthesis::synthesize(const float* samples, int16_t* output, uint32_t channel, uint32_t stride) {
    float x[32], values[ringValues];
    cosineTransform32(samples, x, *tables);
    for (int k = 0; k < 16; ++k) values[k] = -x[16 - k], values[17 + k] = -x[16 + k];
    values[16] = -x[0];
    if (channel == 0) bufferOffset = (bufferOffset - 1) & 15;
    int16_t pcm[32];
    kernelsForLevel().window(half[channel][0], half[channel][1], bufferOffset, values, tables->window, pcm);
    for (uint32_t j = 0; j < 32; ++j) output[channel + j * stride] = pcm[j];
    return 0;
}

void FastSynthesis::synthesizeSlots(const float* const* channelSamples, uint32_t channels, uint32_t slots,
                                    int16_t* output) {
    const Kernels kernels = kernelsForLevel();
    // The transforms in calling order, slot by slot and channel by channel;
    // a batch always ends with the last channel of a slot (lanes are even).
    const uint32_t count = slots * channels;
    for (uint32_t first = 0; first < count; first += uint32_t(kernels.lanes)) {
        const uint32_t used = std::min(uint32_t(kernels.lanes), count - first);
        // Lanes past the last transform repeat it; their results are unused.
        const float* rows[widestLanes];
        for (uint32_t lane = 0; lane < uint32_t(kernels.lanes); ++lane) {
            const uint32_t index = first + std::min(lane, used - 1);
            rows[lane] = channelSamples[index % channels] + 32 * (index / channels);
        }
        float values[widestLanes][ringValues];
        kernels.transform(rows, values, *tables);
        alignas(16) int16_t pcm[2][32];
        for (uint32_t lane = 0; lane < used; ++lane) {
            const uint32_t index = first + lane, channel = index % channels;
            if (channel == 0) bufferOffset = (bufferOffset - 1) & 15;
            kernels.window(half[channel][0], half[channel][1], bufferOffset, values[lane], tables->window,
                           pcm[channel]);
            if (channel + 1 == channels) interleaveSlot(pcm, channels, output + 32 * channels * (index / channels));
        }
    }
}

}  // namespace qw
