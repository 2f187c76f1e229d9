#include "host/StreamFormat.h"

#include <cstdio>
#include <vector>

namespace qw::host {

bool readStreamFormat(const std::string& path, StreamFormat* format) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<uint8_t> bytes(65536);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    static const uint32_t rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
        const uint32_t word =
            uint32_t(bytes[i]) << 24 | uint32_t(bytes[i + 1]) << 16 | uint32_t(bytes[i + 2]) << 8 | bytes[i + 3];
        const uint32_t version = (word >> 19) & 3, layer = (word >> 17) & 3, bitrate = (word >> 12) & 15;
        const uint32_t rate = (word >> 10) & 3;
        if ((word & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer == 0 || bitrate == 0 || bitrate == 15 ||
            rate == 3 || (word & 3) == 2) {
            continue;
        }
        const uint32_t versionIndex = version == 3 ? 0 : version == 2 ? 1 : 2;
        format->sampleRate = rates[versionIndex][rate];
        format->channels = ((word >> 6) & 3) == 3 ? 1 : 2;
        format->layer = 4 - layer;
        return true;
    }
    return false;
}

}  // namespace qw::host
