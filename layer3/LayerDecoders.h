// Which decoder plays a frame: the one place that knows every layer decoder.
#pragma once

#include <cstdint>
#include <memory>

#include "mpeg/LayerDecoder.h"

namespace qw {

class FrameHeader;

// The "Decoder" setting's values.
constexpr uint32_t decoderPerformance = 0;
constexpr uint32_t decoderQuality = 1;

// The decoder for a frame's layer: Layer I, the Layer II refusal, or the
// Layer III decoder the setting names (0 performance, any other quality).
// Null for a layer index that no frame can have.  The decoder borrows the
// header, which must outlive it.
std::unique_ptr<LayerDecoder> makeLayerDecoder(uint32_t layerIndex, FrameHeader* header, uint32_t decoderSetting);

// The decoder for the frames a header reads: made for the first frame's
// layer and made again only when the layer changes.  The slot owns the
// decoder; its owner declares it after the header so that the decoder goes
// first.
class LayerDecoderSlot {
public:
    LayerDecoderSlot() = default;
    LayerDecoderSlot(const LayerDecoderSlot&) = delete;
    LayerDecoderSlot& operator=(const LayerDecoderSlot&) = delete;

    // The decoder for the header's current frame; null when its layer has none.
    LayerDecoder* forFrame(FrameHeader* header, uint32_t decoderSetting);
    LayerDecoder* current() const { return decoder.get(); }
    // Drops the decoder; the next frame gets a new one.
    void reset();

private:
    std::unique_ptr<LayerDecoder> decoder;
    int32_t layer = -1;
};

}  // namespace qw
