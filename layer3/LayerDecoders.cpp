#include "layer3/LayerDecoders.h"

#include "layer3/Layer3Decoder.h"
#include "mpeg/FrameHeader.h"
#include "mpeg/Layer1Decoder.h"
#include "mpeg/Layer2Decoder.h"

namespace qw {

std::unique_ptr<LayerDecoder> makeLayerDecoder(uint32_t layerIndex, FrameHeader* header, uint32_t decoderSetting) {
    switch (layerIndex) {
        case 0:
            return std::make_unique<Layer1Decoder>(header);
        case 1:
            return std::make_unique<Layer2Decoder>(header);
        case 2:
            if (decoderSetting == decoderPerformance) return std::make_unique<Layer3FastDecoder>(header);
            return std::make_unique<Layer3Decoder>(header);
        default:
            // The frame reader never takes the reserved layer; without a
            // decoder the frame is treated as rejected.
            return nullptr;
    }
}

LayerDecoder* LayerDecoderSlot::forFrame(FrameHeader* header, uint32_t decoderSetting) {
    if (int32_t(header->layerIndex()) != layer) {
        reset();  // the old decoder goes before the new one is made
        decoder = makeLayerDecoder(header->layerIndex(), header, decoderSetting);
        layer = int32_t(header->layerIndex());
    }
    return decoder.get();
}

void LayerDecoderSlot::reset() {
    decoder.reset();
    layer = -1;
}

}  // namespace qw
