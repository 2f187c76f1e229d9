// The format of a file's first MPEG audio frame, read by the host itself:
// the recorder interface hands over PCM without saying its format.
#pragma once

#include <cstdint>
#include <string>

#include "host/InputFile.h"

namespace qw::host {

struct StreamFormat {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t layer = 0;  // 1, 2 or 3
    // 384 for Layer I; 1152 for Layer II and for Layer III at the MPEG-1 rates, 576 at the lower ones.
    uint32_t samplesPerFrame() const { return layer == 1 ? 384 : layer == 3 && sampleRate < 32000 ? 576 : 1152; }
};

// The format of the first frame header that the following frames confirm,
// read ahead from an input just opened and left to be read; false when there
// is none.
bool readStreamFormat(InputFile& input, StreamFormat* format);

}  // namespace qw::host
