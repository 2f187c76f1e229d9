// The Layer I decoder: bit allocation, scale factors and twelve groups of 32
// subband samples per channel, requantized in single precision and turned
// into PCM by the fast synthesis filter bank.
#pragma once

#include <cstdint>

#include "mpeg/LayerDecoder.h"
#include "synthesis/FastSynthesis.h"

namespace qw {

class FrameHeader;
class InputStream;

class Layer1Decoder final : public LayerDecoder {
public:
    explicit Layer1Decoder(FrameHeader* header);

    // 384 values for a one-channel frame, 768 for a two-channel frame, 0 when
    // output is null (the payload is still consumed), -1 for a frame with an
    // allocation code of 15 or a scale factor index of 63.
    int32_t decode(int16_t* output) override;
    // Nothing to do: no state is kept between frames but the synthesis history.
    void reset() override {}

private:
    // Reads the allocation codes; false on the forbidden code 15.
    bool readAllocation(InputStream* stream);
    // Reads the scale factor indices; false on the invalid index 63.
    bool readScaleFactors(InputStream* stream);
    // Reads one group of sample codes and requantizes it.
    void readGroup(InputStream* stream);

    FastSynthesis synthesis;
    FrameHeader* frameHeader;  // borrowed
    // Subbands below the bound carry codes per channel; the others share one
    // allocation and one sample code between the two channels.
    int32_t jointBound = 32;
    int32_t channels = 1;
    uint32_t allocation[2][32] = {};
    float scaleFactor[2][32] = {};
    float rawSample[2][32] = {};
    float subbandSample[2][32] = {};
    float factor[2][32] = {};
    float offset[2][32] = {};

    // By allocation code a = 1..14 (index 0 is no allocation): a code q of
    // a + 1 bits requantizes to q * factor + offset.
    float factorByAllocation[15];
    float offsetByAllocation[15];
    // Scale factor i = 2^(1 - i / 3), i = 0..62.
    float scaleByIndex[63];
};

}  // namespace qw
