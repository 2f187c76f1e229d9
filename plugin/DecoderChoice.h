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

}  // namespace qw
