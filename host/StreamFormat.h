// The format of a file's first MPEG audio frame, read by the host itself:
// the recorder interface hands over PCM without saying its format.
#pragma once

#include <cstdint>
#include <string>

namespace qw::host {

struct StreamFormat {
    uint32_t sampleRate = 0;
    uint32_t channels = 0;
    uint32_t layer = 0;  // 1, 2 or 3
};

// Searches the whole file behind its leading ID3v2 tags; false when no frame
// header is found.
bool readStreamFormat(const std::string& path, StreamFormat* format);

}  // namespace qw::host
