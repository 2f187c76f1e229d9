// The two Layer III decoders: "Best Quality" (double precision) and "Best
// Performance" (single precision), one body templated on the policy that
// names their differences.
#pragma once

#include <cstdint>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"
#include "layer3/MainDataBuffer.h"
#include "layer3/Requantizer.h"
#include "layer3/SideInfo.h"
#include "mpeg/LayerDecoder.h"
#include "synthesis/Imdct.h"
#include "synthesis/StereoProcessor.h"

namespace qw {

class FrameHeader;

// Everything a Layer III decoder needs lives inside the object, tables
// included, so a decoder is one allocation; it is large and belongs on the
// heap (its owner makes it with std::make_unique).
template <class Policy>
class Layer3DecoderBody : public LayerDecoder {
public:
    using Sample = typename Policy::Sample;

    // Decodes the frame the frame reader just took: 576 values per granule
    // and channel, interleaved.  -1 when the side information is rejected
    // (nothing of the main data read then) or a granule-channel fails (the
    // granules before it are already written).  With a null output the
    // frame's main data still goes into the reservoir and 0 is returned.
    int32_t decode(int16_t* output) override;
    // Empties the reservoir and clears the signal history.
    void reset() override;

    Layer3DecoderBody(const Layer3DecoderBody&) = delete;
    Layer3DecoderBody& operator=(const Layer3DecoderBody&) = delete;

protected:
    explicit Layer3DecoderBody(FrameHeader* header);

private:
    void synthesizeGranule(uint32_t channels, int16_t* output);

    typename Policy::Synthesis synthesis;
    FrameHeader* header;  // borrowed
    MainDataBuffer mainData;
    SideInfo sideInfo = {};
    // One granule-channel's decoded lines and requantized spectrum: every
    // stage writes all 576 values before the next reads them, so one set
    // serves every granule-channel in turn.
    uint16_t magnitudes[576] = {};
    Sample signs[576] = {};
    Sample spectrum[576] = {};
    // The reordered spectrum, which stereo processing and alias reduction then
    // rewrite in place and the IMDCT uses as scratch.
    Sample hybrid[2][576] = {};
    Sample subbandSamples[2][576] = {};  // 18 time slots of 32 subbands
    // The second halves of the previous granule's transforms: the only
    // signal that carries over from one granule to the next.
    Sample overlap[2][576] = {};
    RequantizeTables<Policy> requantizeTables;
    BandIndex bands;
    StereoTables<Sample> stereoTables;
    ImdctTables<Sample> imdctTables;
    // Where the PCM of a frame decoded with a null output goes when the
    // policy decodes such frames in full.
    int16_t discarded[Policy::nullOutputLoadsOnly ? 1 : 2 * 1152];
};

class Layer3Decoder final : public Layer3DecoderBody<QualityPolicy> {
public:
    explicit Layer3Decoder(FrameHeader* header) : Layer3DecoderBody(header) {}
};

class Layer3FastDecoder final : public Layer3DecoderBody<PerformancePolicy> {
public:
    explicit Layer3FastDecoder(FrameHeader* header) : Layer3DecoderBody(header) {}
};

static_assert(sizeof(Layer3Decoder) <= 2 * 1024 * 1024, "a decoder is one allocation of at most 2 MB");
static_assert(sizeof(Layer3FastDecoder) <= 2 * 1024 * 1024, "a decoder is one allocation of at most 2 MB");

}  // namespace qw
