#include "host/StreamFormat.h"

#include "quillwave/frames.h"

namespace qw::host {

namespace {

// The format of the frame header in word, or false when it is none.
bool parseHeader(uint32_t word, StreamFormat* format) {
    static const uint32_t rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const uint32_t version = (word >> 19) & 3, layer = (word >> 17) & 3, bitrate = (word >> 12) & 15;
    const uint32_t rate = (word >> 10) & 3;
    if ((word & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer == 0 || bitrate == 0 || bitrate == 15 ||
        rate == 3 || (word & 3) == 2) {
        return false;
    }
    const uint32_t versionIndex = version == 3 ? 0 : version == 2 ? 1 : 2;
    format->sampleRate = rates[versionIndex][rate];
    format->channels = ((word >> 6) & 3) == 3 ? 1 : 2;
    format->layer = 4 - layer;
    return true;
}

}  // namespace

bool readStreamFormat(InputFile& input, StreamFormat* format) {
    // The input starts at its first confirmed frame, as the module's recorder
    // stream does.
    uint8_t header[4];
    return input.audioFound() && input.peek(header, sizeof header) == sizeof header &&
           parseHeader(qwHeaderWord(header), format);
}

}  // namespace qw::host
