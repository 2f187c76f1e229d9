// Which decoder plays a frame.
#pragma once

#include <cstdint>

namespace qw {

class FrameHeader;
class LayerDecoder;

// The "Decoder" setting's values.
constexpr uint32_t decoderPerformance = 0;
constexpr uint32_t decoderQuality = 1;

// The decoder for a frame's layer: Layer I, the Layer II refusal, or the
// Layer III decoder the setting names (0 performance, any other quality).
// Null for a layer index that no frame can have.
LayerDecoder* makeLayerDecoder(uint32_t layerIndex, FrameHeader* header, uint32_t decoderSetting);

// The decoder for the frames a header reads: made for the first frame's
// layer and made again only when the layer changes.
class LayerDecoderSlot {
public:
    LayerDecoderSlot() = default;
    ~LayerDecoderSlot() { reset(); }
    LayerDecoderSlot(const LayerDecoderSlot&) = delete;
    LayerDecoderSlot& operator=(const LayerDecoderSlot&) = delete;

    // The decoder for the header's current frame; null when its layer has none.
    LayerDecoder* forFrame(FrameHeader* header, uint32_t decoderSetting);
    LayerDecoder* current() const { return decoder; }
    // Drops the decoder; the next frame gets a new one.
    void reset();

private:
    LayerDecoder* decoder = nullptr;
    int32_t layer = -1;
};

}  // namespace qw
