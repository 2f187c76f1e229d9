// Single-precision synthesis.  Of the 64 values the matrixing yields per time
// slot only 33 are distinct (V[32 - k] = -V[k], V[48 - k] = V[48 + k]); they
// are stored column-wise in two half-buffers addressed by a 16-step ring
// position, so that every output sample is one 16-tap dot product with a
// pre-permuted, pre-scaled window.
#include "synthesis/FastSynthesis.h"

#include <cmath>

#include "synthesis/SynthesisWindow.h"

namespace qw {

struct FastSynthesisTables {
    // Row j (0..16) holds 32768 D[32 t + j] for the taps t = 0..15, twice over,
    // so that a window read may start anywhere in the first 16 entries.
    float window[544];
    // 1 / (2 cos((2k + 1) pi / 2N)) for the transform sizes N = 32, 16, 8, 4, 2.
    float cos64[16];
    float cos32[8];
    float cos16[4];
    float cos8[2];
    float cos4[1];
    const float* levels[5];

    FastSynthesisTables() {
        for (int i = 0; i < 512; ++i) {
            const int p = 32 * (i % 32) + i / 32;
            if (p < 528) window[p] = window[p + 16] = float(32768.0 * synthesisWindow[i]);
        }
        float* tablesBySize[5] = {cos64, cos32, cos16, cos8, cos4};
        for (int level = 0, n = 32; level < 5; ++level, n /= 2) {
            for (int k = 0; k < n / 2; ++k) {
                tablesBySize[level][k] = float(1.0 / (2.0 * std::cos((2 * k + 1) * 3.14159265358979323846 / (2 * n))));
            }
            levels[level] = tablesBySize[level];
        }
    }
};

namespace {

const FastSynthesisTables& sharedTables() {
    static const FastSynthesisTables tables;
    return tables;
}

// The N-point cosine transform X[m] = sum of x[n] cos((2n + 1) m pi / 2N),
// split into the transforms of the folded sums and of the scaled folded
// differences; the odd outputs recombine neighbouring results of the latter.
// Every intermediate is a float.
template <int N>
struct CosineTransform {
    static inline void run(const float* in, float* out, const float* const* levels) {
        constexpr int half = N / 2;
        const float* scale = levels[0];
        float sums[half], differences[half], even[half], odd[half];
        for (int i = 0; i < half; ++i) {
            sums[i] = in[i] + in[N - 1 - i];
            differences[i] = (in[i] - in[N - 1 - i]) * scale[i];
        }
        CosineTransform<half>::run(sums, even, levels + 1);
        CosineTransform<half>::run(differences, odd, levels + 1);
        for (int m = 0; m < half - 1; ++m) {
            out[2 * m] = even[m];
            out[2 * m + 1] = odd[m] + odd[m + 1];
        }
        out[N - 2] = even[half - 1];
        out[N - 1] = odd[half - 1];
    }
};

template <>
struct CosineTransform<1> {
    static inline void run(const float* in, float* out, const float* const*) { out[0] = in[0]; }
};

}  // namespace

FastSynthesis::FastSynthesis() : tables(&sharedTables()) { reset(); }

int FastSynthesis::reset() {
    std::memset(half, 0, sizeof half);
    return 0;
}

int FastSynthesis::synthesize(const float* samples, int16_t* output, uint32_t channel, uint32_t stride) {
    if (channel == 0) bufferOffset = (bufferOffset - 1) & 15;
    float* h0 = half[channel][0];
    float* h1 = half[channel][1];
    int16_t* out = output + channel;

    float x[33];
    CosineTransform<32>::run(samples, x, tables->levels);
    x[32] = 0;

    // P[k] = -X[16 - k] and Q[k] = -X[16 + k] go to column o of the rows
    // k = 0..16 of one half-buffer and the neighbouring column of the other;
    // the windowing reads the half-buffer that took Q.
    const uint32_t o = bufferOffset;
    const float* b;
    uint32_t q;
    if (o & 1) {
        const uint32_t column = (o + 1) & 15;
        for (int k = 0; k <= 16; ++k) {
            h1[column + 16 * k] = -x[16 - k];
            h0[o + 16 * k] = -x[16 + k];
        }
        b = h0;
        q = o;
    } else {
        for (int k = 0; k <= 16; ++k) {
            h0[o + 16 * k] = -x[16 - k];
            h1[o + 1 + 16 * k] = -x[16 + k];
        }
        b = h1;
        q = o + 1;
    }

    // Samples 0..15 alternate the tap signs, sample 16 takes the even taps,
    // and samples 17..31 read the window rows 15..1 backwards.
    const float* w = tables->window + 16 - q;
    for (uint32_t j = 0; j < 16; ++j) {
        double sum = 0;
        for (int k = 0; k < 16; k += 2) {
            sum += double(w[k]) * double(b[k]);
            sum -= double(w[k + 1]) * double(b[k + 1]);
        }
        out[j * stride] = roundToPcmByBias(sum);
        b += 16;
        w += 32;
    }
    {
        double sum = 0;
        for (int k = 0; k < 16; k += 2) sum += double(w[k]) * double(b[k]);
        out[16 * stride] = roundToPcmByBias(sum);
    }
    b -= 16;
    w += 2 * int(q) - 32;
    for (uint32_t j = 17; j < 32; ++j) {
        double sum = 0;
        for (int k = 0; k < 16; ++k) sum -= double(w[-1 - k]) * double(b[k]);
        out[j * stride] = roundToPcmByBias(sum);
        b -= 16;
        w -= 32;
    }
    return 0;
}

}  // namespace qw
