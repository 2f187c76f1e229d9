// Layer II is not played: every frame is refused with a message box.
#pragma once

#include "mpeg/LayerDecoder.h"

namespace qw {

class FrameHeader;

class Layer2Decoder final : public LayerDecoder {
public:
    explicit Layer2Decoder(FrameHeader* header) : frameHeader(header) {}

    // Shows "Layer2 Unsupported" and rejects the frame without reading it.
    int32_t decode(int16_t* output) override;
    void reset() override {}

private:
    [[maybe_unused]] FrameHeader* frameHeader;
};

}  // namespace qw
