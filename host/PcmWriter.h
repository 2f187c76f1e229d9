// Where decoded PCM goes: a WAV file, raw PCM, or WAV on standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qw::host {

class PcmWriter {
public:
    ~PcmWriter();
    // OUTPUT ending in .wav: WAV; .pcm or .raw: raw signed 16-bit little-endian;
    // "-": WAV on standard output.  False with error() set otherwise.
    bool open(const std::string& path);
    // The format of the data; called before the first write.
    void setFormat(uint32_t sampleRate, uint32_t channels);
    bool write(const void* bytes, uint32_t count);
    // Completes the WAV header; false when the output could not be written.
    bool close();
    const std::string& error() const { return errorText; }
    uint64_t bytesWritten() const { return dataBytes; }

private:
    bool writeWavHeader(std::FILE* file, uint32_t dataSize);

    std::FILE* file = nullptr;
    bool wav = false;
    bool toStdout = false;
    bool failed = false;
    uint32_t rate = 0;
    uint32_t channelCount = 0;
    uint64_t dataBytes = 0;
    std::vector<uint8_t> held;  // WAV for stdout is held until its size is known
    std::string errorText;
};

bool endsWith(const std::string& text, const std::string& suffix);

}  // namespace qw::host
