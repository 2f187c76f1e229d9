// The double-precision polyphase synthesis filter bank of the quality
// Layer III decoder: 32 subband samples of one time slot in, 32 rounded and
// clipped 16-bit samples of one channel out.
#pragma once

#include <cmath>
#include <cstdint>

namespace qw {

// Rounds a window sum to the nearest integer, ties to even (the default
// rounding mode), and clips it to the 16-bit range, however large it is.
inline int16_t roundToPcm(double sum) {
    const double rounded = std::nearbyint(sum);
    if (rounded > 32767.0) return 32767;
    if (!(rounded >= -32768.0)) return -32768;  // also catches a NaN
    return int16_t(rounded);
}

class PolyphaseSynthesis {
public:
    PolyphaseSynthesis();
    virtual ~PolyphaseSynthesis() = default;

    // Writes 32 samples at output + channel + j * stride, j = 0..31.
    virtual int synthesize(const double* samples, int16_t* output, uint32_t channel, uint32_t stride);
    // The same as synthesize for each time slot t < slots and channel c <
    // channels in that order, with the samples at channelSamples[c] + 32 t and
    // the output at output + 32 channels t, stride channels.
    void synthesizeSlots(const double* const* channelSamples, uint32_t channels, uint32_t slots, int16_t* output);
    // Clears both rings and puts both ring positions back to 64.
    virtual int reset();

private:
    // One time slot: its 64 ring values at pos of the ring v from its 32
    // subband samples, and the 32 window sums; vectors of the kind given.
    template <class Vector>
    void slot(const double* samples, double* v, uint32_t pos, double* sum) const;
    // The same, the sums rounded to the 32 samples, for each instruction set.
    void slotSse2(const double* samples, double* v, uint32_t pos, int16_t* pcm) const;
    void slotAvx(const double* samples, double* v, uint32_t pos, int16_t* pcm) const;
    void slotAvx512(const double* samples, double* v, uint32_t pos, int16_t* pcm) const;
    using Slot = void (PolyphaseSynthesis::*)(const double*, double*, uint32_t, int16_t*) const;
    // The slot kernel for the instruction set in use, asked per call so that a
    // capped level takes effect at once.
    static Slot slotForLevel();
    // Steps the channel's ring position and writes the slot's 32 samples to pcm.
    void synthesizeOne(Slot kernel, const double* samples, uint32_t channel, int16_t* pcm);

    double ring[2][1024];
    uint32_t ringPosition[2];
    // Matrixing tables of the split cosine transform.
    // The matrices and the window are stored by column: the products that
    // one input value (or one tap) contributes to all outputs lie side by side,
    // so the outputs are summed together while each keeps its own order of
    // additions.
    double c8[8][8];        // c8[n][r] = cos(r (2n + 1) pi / 16)
    double m8[8][8];        // m8[n][r] = cos((2r + 1)(2n + 1) pi / 32)
    double m16[16][16];     // m16[n][r] = cos((2r + 1)(2n + 1) pi / 64)
    double window[16][32];  // window[t][j] = 32768 D[32 t + j], tap t of output sample j
};

}  // namespace qw
