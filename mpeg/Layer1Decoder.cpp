// Layer I frame payload: per subband a 4-bit allocation code, a 6-bit scale
// factor index where the allocation is not 0, then twelve groups of one
// sample code per subband and channel.
#include "mpeg/Layer1Decoder.h"

#include <cmath>

#include "mpeg/FrameHeader.h"
#include "plugin/InputStream.h"

namespace qw {

namespace {

constexpr uint32_t forbiddenAllocation = 15;
constexpr uint32_t invalidScaleIndex = 63;
constexpr int groupsPerFrame = 12;

}  // namespace

Layer1Decoder::Layer1Decoder(FrameHeader* header) : frameHeader(header) {
    factorByAllocation[0] = 0;
    offsetByAllocation[0] = 0;
    for (int a = 1; a < 15; ++a) {
        // n = a + 1 bits: (2q - 2^n + 2) / (2^n - 1) = q * 2 / (2^n - 1) - (2^n - 2) / (2^n - 1).
        const double levels = std::ldexp(1.0, a + 1) - 1;
        factorByAllocation[a] = float(2.0 / levels);
        offsetByAllocation[a] = float(-(levels - 1) / levels);
    }
    for (int i = 0; i < 63; ++i) scaleByIndex[i] = float(std::pow(2.0, 1.0 - i / 3.0));
}

bool Layer1Decoder::readAllocation(InputStream* stream) {
    for (int sb = 0; sb < 32; ++sb) {
        const bool shared = sb >= jointBound;
        for (int ch = 0; ch < channels; ++ch) {
            const uint32_t a = shared && ch == 1 ? allocation[0][sb] : stream->getBits(4);
            if (a == forbiddenAllocation) return false;
            allocation[ch][sb] = a;
            factor[ch][sb] = factorByAllocation[a];
            offset[ch][sb] = offsetByAllocation[a];
        }
    }
    return true;
}

bool Layer1Decoder::readScaleFactors(InputStream* stream) {
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < channels; ++ch) {
            if (allocation[ch][sb] == 0) {
                scaleFactor[ch][sb] = 0;
                continue;
            }
            const uint32_t index = stream->getBits(6);
            if (index == invalidScaleIndex) return false;
            scaleFactor[ch][sb] = scaleByIndex[index];
        }
    }
    return true;
}

void Layer1Decoder::readGroup(InputStream* stream) {
    for (int sb = 0; sb < 32; ++sb) {
        if (sb < jointBound) {
            for (int ch = 0; ch < channels; ++ch) {
                const uint32_t a = allocation[ch][sb];
                rawSample[ch][sb] = a ? float(stream->getBits(a + 1)) : 0.0f;
            }
        } else {
            const uint32_t a = allocation[0][sb];
            rawSample[0][sb] = rawSample[1][sb] = a ? float(stream->getBits(a + 1)) : 0.0f;
        }
    }
    // Shared subbands apply one code with each channel's own scale factor.
    for (int ch = 0; ch < channels; ++ch) {
        for (int sb = 0; sb < 32; ++sb) {
            subbandSample[ch][sb] = (rawSample[ch][sb] * factor[ch][sb] + offset[ch][sb]) * scaleFactor[ch][sb];
        }
    }
}

int32_t Layer1Decoder::decode(int16_t* output) {
    InputStream* stream = frameHeader->stream();
    channels = frameHeader->channelCount() == 2 ? 2 : 1;
    stream->fill(frameHeader->payloadLength());  // a failed fill stops the next frame search

    // Joint stereo shares the subbands from 4, 8, 12 or 16 upwards.
    jointBound = frameHeader->mode() == 1 ? int32_t(4 * (frameHeader->modeExtension() + 1)) : 32;

    if (!readAllocation(stream) || !readScaleFactors(stream)) return -1;
    if (output == nullptr) return 0;

    const uint32_t stride = uint32_t(channels);
    for (int group = 0; group < groupsPerFrame; ++group) {
        readGroup(stream);
        for (int ch = 0; ch < channels; ++ch) synthesis.synthesize(subbandSample[ch], output, uint32_t(ch), stride);
        output += 32 * channels;
    }
    return 32 * groupsPerFrame * channels;
}

}  // namespace qw
