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
    // Sums beyond the 16-bit range clip.  Bringing them to +-65536 first keeps
    // them where the low 32 bits hold the rounded value (a NaN goes to +);
    // the selections compile to branch-free minimum and maximum.
    sum = sum < 65536.0 ? sum : 65536.0;
    sum = sum > -65536.0 ? sum : -65536.0;
    const double biased = sum + 4503601774854144.0;
    uint64_t bits;
    std::memcpy(&bits, &biased, sizeof bits);
    const int32_t value = int32_t(uint32_t(bits) ^ 0x80000000u);
    return int16_t(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

struct FastSynthesisTables;

class FastSynthesis {
public:
    FastSynthesis();
    virtual ~FastSynthesis() = default;

    // Writes 32 samples at output + channel + j * stride, j = 0..31.  Channel 0
    // of a time slot must come before channel 1: only channel 0 steps the ring.
    int synthesize(const float* samples, int16_t* output, uint32_t channel, uint32_t stride);
    // The same as synthesize for each time slot t < slots and channel c <
    // channels in that order, with the samples at channelSamples[c] + 32 t and
    // the output at output + 32 channels t, stride channels; the transforms of
    // several slots run side by side in vector lanes.
    void synthesizeSlots(const float* const* channelSamples, uint32_t channels, uint32_t slots, int16_t* output);
    // Clears the half-buffers; the ring position is kept.
    int reset();

    // 17 rows used, rounded up so that every column starts on a 64-byte line.
    static constexpr int rowsPerColumn = 24;

private:
    const FastSynthesisTables* tables;  // shared, built once on first use
    // [channel][half-buffer][column 0..15][row 0..16]: the 33 values of a time
    // slot go to one column of the rows 0..16 of each half-buffer.  Stored
    // column by column, so that a column is one contiguous run (with unused
    // zero rows that round it up to whole cache lines); the values are single
    // precision, kept as doubles for the window sums.
    alignas(64) double half[2][2][16][rowsPerColumn];
    // The 16-step ring position.  Each object keeps its own, so that two
    // decoders running at once (playback and the recorder) never step each
    // other's position.
    uint32_t bufferOffset = 1;
};

}  // namespace qw
