#include "plugin/DecoderChoice.h"

#include "layer3/Layer3Decoder.h"
#include "mpeg/FrameHeader.h"
#include "mpeg/Layer1Decoder.h"
#include "mpeg/Layer2Decoder.h"

namespace qw {

LayerDecoder* makeLayerDecoder(uint32_t layerIndex, FrameHeader* header, uint32_t decoderSetting) {
    switch (layerIndex) {
        case 0:
            return new Layer1Decoder(header);
        case 1:
            return new Layer2Decoder(header);
        case 2:
            if (decoderSetting == decoderPerformance) return new Layer3FastDecoder(header);
            return new Layer3Decoder(header);
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
    return decoder;
}

void LayerDecoderSlot::reset() {
    delete decoder;
    decoder = nullptr;
    layer = -1;
}

}  // namespace qw
