// The single-precision polyphase synthesis filter bank of the Layer I decoder
// and the performance Layer III decoder.  It keeps only the 33 distinct
// matrixing values of each call, in two half-buffers per channel.
#pragma once

#include <cstdint>
#include <cstring>

namespace qw {

// Rounds a window sum to the nearest integer, ties to even, without an
// integer conversion: adding 2^52 + 2^31 leaves the rounded value plus 2^31
// in the low 32 bits of the double.  Sums whose magnitude reaches 2^31 no
// longer fit those bits and clip by their sign.
inline int16_t roundToPcmByBias(double sum) {
    if (!(sum < 2147483648.0)) return 32767;  // a NaN lands here too
    if (!(sum > -2147483648.0)) return -32768;
    const double biased = sum + 4503601774854144.0;
    uint64_t bits;
    std::memcpy(&bits, &biased, sizeof bits);
    const int64_t value = int64_t(bits & 0xFFFFFFFFu) - 2147483648LL;
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return int16_t(value);
}

struct FastSynthesisTables;

class FastSynthesis {
public:
    FastSynthesis();
    virtual ~FastSynthesis() = default;

    // Writes 32 samples at output + channel + j * stride, j = 0..31.  Channel 0
    // of a time slot must come before channel 1: only channel 0 steps the ring.
    int synthesize(const float* samples, int16_t* output, uint32_t channel, uint32_t stride);
    // Clears the half-buffers; the ring position is kept.
    int reset();

private:
    const FastSynthesisTables* tables;  // shared, built once on first use
    float half[2][2][272];              // [channel][half-buffer][17 rows of 16]
    // The 16-step ring position.  Each object keeps its own, so that two
    // decoders running at once (playback and the recorder) never step each
    // other's position.
    uint32_t bufferOffset = 1;
};

}  // namespace qw
