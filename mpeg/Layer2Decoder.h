// Layer II is not played: every frame is refused with a message box.
#pragma once

#include "mpeg/LayerDecoder.h"

namespace qw {

class FrameHeader;

class Layer2Decoder final : public LayerDecoder {
public:
    // Takes the frame reader only to be made like the other layer decoders.
    explicit Layer2Decoder(FrameHeader*) {}

    // Shows "Layer2 Unsupported" and rejects the frame without reading it.
    int32_t decode(int16_t* output) override;
    void reset() override {}
};

}  // namespace qw
