// The decoding thread's frame loop without the host: takes frames from a FrameHeader, makes a decoder whenever the
// layer changes and hands each frame's PCM to a sink.  Shared by tests, fuzzer and benchmark.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layer3/LayerDecoders.h"
#include "mpeg/FrameHeader.h"
#include "mpeg/LayerDecoder.h"

namespace qw::test {

// The single-precision or the double-precision Layer III decoder, as the "Decoder" setting names them.
enum class Layer3Variant : uint32_t { performance = decoderPerformance, quality = decoderQuality };

inline const char* variantName(Layer3Variant variant) {
    return variant == Layer3Variant::performance ? "performance" : "quality";
}

struct LoopStats {
    uint32_t framesTaken = 0;     // frames the frame reader returned
    uint32_t framesDecoded = 0;   // frames whose decode returned a count
    uint32_t framesRejected = 0;  // decode returned -1; the reader was resynchronised
    uint64_t values = 0;          // 16-bit values handed to the sink
};

class DecodeLoop {
public:
    // With keepDecoders a decoder is kept across layer changes and reset when used again (restart() starts a new
    // stream), so the large tables are built once; without it the old decoder is destroyed and a new one made.
    DecodeLoop(FrameHeader* header, Layer3Variant variant, bool keepDecoders = false)
        : header(header), variant(variant), keepDecoders(keepDecoders) {}

    // Makes (or resets) the decoder for a layer ahead of the first frame, keeping table building out of timed code.
    // Layer II frames are skipped: their decoder only refuses them, with a message box.
    void prepare(uint32_t layer) {
        if (layer == currentLayer) return;
        currentLayer = layer;
        std::unique_ptr<LayerDecoder>& slot = decoders[keepDecoders && layer < 3 ? layer : 0];
        if (keepDecoders && slot) {
            slot->reset();
        } else {
            slot.reset();  // the old decoder goes before the new one is made
            if (layer == 0 || layer == 2) slot = makeLayerDecoder(layer, header, uint32_t(variant));
        }
        active = slot.get();
    }

    // Forgets the current layer, so the next frame's decoder starts afresh.
    void restart() { currentLayer = UINT32_MAX; }

    // Runs until the reader finds no more frames or maxFrames were taken; sink(const int16_t* pcm, int32_t count,
    // const FrameHeader&) gets every decoded frame.  A rejected frame resynchronises the reader.
    template <class Sink>
    LoopStats run(Sink&& sink, uint32_t maxFrames = UINT32_MAX) {
        LoopStats stats;
        while (stats.framesTaken < maxFrames && header->readNextFrame() == 0) {
            ++stats.framesTaken;
            prepare(header->layerIndex());
            if (!active) continue;
            const int32_t n = active->decode(pcm.data());
            if (n < 0) {
                ++stats.framesRejected;
                header->resetSync();
                continue;
            }
            ++stats.framesDecoded;
            stats.values += uint64_t(n);
            sink(static_cast<const int16_t*>(pcm.data()), n, static_cast<const FrameHeader&>(*header));
        }
        return stats;
    }

private:
    FrameHeader* header;
    Layer3Variant variant;
    bool keepDecoders;
    uint32_t currentLayer = UINT32_MAX;
    std::unique_ptr<LayerDecoder> decoders[3];  // by layer when kept, else only [0]
    LayerDecoder* active = nullptr;
    // Exactly the most values one frame yields, so the address sanitizer catches overruns.
    std::vector<int16_t> pcm = std::vector<int16_t>(2 * 1152);
};

struct DecodedStream {
    std::vector<int16_t> pcm;
    LoopStats stats;
};

// Decodes every frame of stream (after probing for a VBR header) into memory.
inline DecodedStream decodeStream(InputStream* stream, Layer3Variant variant) {
    DecodedStream result;
    FrameHeader header(stream);
    header.probeVbrHeader();
    DecodeLoop loop(&header, variant);
    result.stats = loop.run([&result](const int16_t* pcm, int32_t n, const FrameHeader&) {
        result.pcm.insert(result.pcm.end(), pcm, pcm + n);
    });
    return result;
}

}  // namespace qw::test
