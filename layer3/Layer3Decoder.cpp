// The Layer III decode driver: side information, bit reservoir, and per
// granule the bitstream stages, stereo processing, the hybrid filter bank and
// the polyphase synthesis.
#include "layer3/Layer3Decoder.h"

#include <algorithm>

#include "layer3/HuffmanDecoder.h"
#include "layer3/ScaleFactors.h"
#include "mpeg/FrameHeader.h"
#include "synthesis/AliasReduction.h"
#include "synthesis/ShortBlockReorder.h"

namespace qw {

template <class Policy>
Layer3DecoderBody<Policy>::Layer3DecoderBody(FrameHeader* header) : header(header), mainData(header->stream()) {}

template <class Policy>
void Layer3DecoderBody<Policy>::reset() {
    mainData.reset();
    for (auto& row : overlap) std::fill(row, row + 576, Sample(0));
    synthesis.reset();
}

// 18 time slots per channel; in stereo channel 0 takes the even and channel 1
// the odd positions of each slot's 64 values.
template <class Policy>
void Layer3DecoderBody<Policy>::synthesizeGranule(uint32_t channels, int16_t* output) {
    const Sample* const channelSamples[2] = {subbandSamples[0], subbandSamples[1]};
    synthesis.synthesizeSlots(channelSamples, channels, 18, output);
}

template <class Policy>
int32_t Layer3DecoderBody<Policy>::decode(int16_t* output) {
    const uint32_t channels = header->channelCount();
    const uint32_t versionIndex = header->versionIndex();
    const uint32_t row = versionIndex * 3 + header->sampleRateIndex();
    if (channels < 1 || channels > 2 || row > 8) return -1;
    const uint32_t granules = versionIndex == 0 ? 2 : 1;

    readSideInfo(*header, sideInfo);
    if (!checkSideInfo(sideInfo, *header, Policy::equalJointStereoBlockTypes)) return -1;
    mainData.load(header->payloadLength(), sideInfo.main_data_begin);

    int16_t* out = output;
    if (!output) {
        if (Policy::nullOutputLoadsOnly) return 0;
        out = discarded;  // decoded in full so that the signal history stays continuous
    }

    const uint16_t* edges = bandEdges[row];
    const StereoFrame frame{versionIndex, channels, header->mode(), header->modeExtension()};
    int32_t written = 0;
    for (uint32_t gr = 0; gr < granules; ++gr) {
        uint32_t region1Start[2] = {};
        // Granule-channels follow each other in the main data in this order.
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const GranuleInfo& info = sideInfo.granule[gr][ch];
            const int32_t part2Start = mainData.bitPosition;
            if (readScaleFactors(mainData, sideInfo, *header, ch, gr) != 0) return -1;
            HuffmanResult huffman{};
            if (decodeHuffman<Policy>(mainData, info, edges, versionIndex, part2Start, magnitudes, signs, &huffman) !=
                0) {
                return -1;
            }
            region1Start[ch] = huffman.region1Start;
            requantize<Policy>(requantizeTables, info, edges, magnitudes, signs, huffman.lineCount, spectrum);
            reorderShortBlocks<Sample>(info, edges + longEdgeCount, spectrum, hybrid[ch]);
        }

        processStereo<Sample>(stereoTables, bands, row, frame, sideInfo.granule[gr][0], sideInfo.granule[gr][1],
                              hybrid[0], hybrid[1]);

        for (uint32_t ch = 0; ch < channels; ++ch) {
            const GranuleInfo& info = sideInfo.granule[gr][ch];
            reduceAliasing<Sample>(info, region1Start[ch], hybrid[ch]);
            inverseMdct<Sample>(imdctTables, info, hybrid[ch], overlap[ch], subbandSamples[ch]);
        }

        synthesizeGranule(channels, out);
        out += 576 * channels;
        written += int32_t(576 * channels);
    }
    return output ? written : 0;
}

template class Layer3DecoderBody<QualityPolicy>;
template class Layer3DecoderBody<PerformancePolicy>;

}  // namespace qw
