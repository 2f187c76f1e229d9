// Where decoded PCM goes: a WAV file, raw PCM, or WAV on standard output.
// PCM goes out as it comes, whatever the length: the WAV header is written
// before the first data with the sizes of a stream of unknown length
// (0xFFFFFFFF, as pipes carry it) and completed at the end when the output
// can seek.  The output file is made with the first data, so that a decode
// that yields none leaves no file behind (and an older one as it was).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "quillwave/quillwave.h"

namespace qw::host {

// Where PCM goes as it comes: the format first, then the data in any pieces.
class PcmSink {
public:
    virtual ~PcmSink() = default;
    virtual void setFormat(uint32_t sampleRate, uint32_t channels) = 0;
    // False when the data could not be written.
    virtual bool write(const void* bytes, uint32_t count) = 0;
    // A block as the module hands it over, with its position.
    virtual bool writeBlock(const PcmBlock& block) { return write(block.samples, block.byteCount); }
};

class PcmWriter : public PcmSink {
public:
    ~PcmWriter() override;
    // OUTPUT ending in .wav: WAV; .pcm or .raw: raw signed 16-bit little-endian;
    // "-": WAV on standard output.  False with error() set otherwise.  The
    // file itself is made by the first write.
    bool open(const std::string& path);
    // The format of the data; called before the first write.
    void setFormat(uint32_t sampleRate, uint32_t channels) override;
    bool write(const void* bytes, uint32_t count) override;
    // Completes the WAV header; false when the output could not be written.
    bool close();
    // Removes an output file this writer made, after a failed write.
    void discard();
    const std::string& error() const { return errorText; }
    uint64_t bytesWritten() const { return dataBytes; }

private:
    bool writeWavHeader(uint32_t dataSize);
    // Writes the header once, sizes unknown, before the first data.
    bool startWav();

    std::string outputPath;
    bool created = false;
    std::FILE* file = nullptr;
    bool wav = false;
    bool toStdout = false;
    bool headerWritten = false;
    bool failed = false;
    uint32_t rate = 0;
    uint32_t channelCount = 0;
    uint64_t dataBytes = 0;
    int64_t headerAt = -1;  // output offset of the header; -1 when the output cannot seek
    std::string errorText;
};

bool endsWith(const std::string& text, const std::string& suffix);

}  // namespace qw::host
