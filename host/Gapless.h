// Gapless output.  An MP3 encoder adds samples at both ends of the audio: its
// delay at the start, and padding to fill the last frame.  A decoder adds 529
// samples of its own at the start.  The LAME extension of the information
// frame (a Xing or Info frame, the first frame of the stream, which decodes to
// a frame of silence) records the encoder's delay and padding, and the frame
// count; the host reads them and takes off what was added, as a player does.
// The module hands over every sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/InputFile.h"
#include "host/PcmWriter.h"

namespace qw::host {

// What the information frame says about the ends of the audio, or why the
// output is not trimmed.
struct GaplessInfo {
    enum class Finding {
        trims,               // delay, padding and frame count are there and can be true
        noInformationFrame,  // the first frame is no Layer III frame with a Xing or Info tag
        noFrameCount,        // the information frame does not give the frame count
        noLameExtension,     // the information frame has no LAME extension
        exceedsAudio,        // delay and padding together exceed the audio of the frames
    };
    Finding finding = Finding::noInformationFrame;
    uint32_t samplesPerFrame = 0;  // 1152 for MPEG-1, 576 for MPEG-2 and MPEG-2.5
    uint32_t frames = 0;           // audio frames behind the information frame
    uint32_t delay = 0;            // the encoder's delay, in samples per channel
    uint32_t padding = 0;          // samples per channel added to fill the last frame

    bool trims() const { return finding == Finding::trims; }
    // The gapless output's length in samples per channel: the audio that was
    // encoded, less its last samples when the padding is shorter than the
    // decoder's delay (they would come after the frames' output).
    uint64_t length() const;
};

// The findings of the information frame at the start of bytes, the first
// bytes of the stream as the module gets it.
GaplessInfo parseInformationFrame(const uint8_t* bytes, size_t count);
// The findings of the first frame of the stream that the host hands the
// module, read ahead from an input just opened and left to be read.
GaplessInfo readInformationFrame(InputFile& input);
// "delay 576, padding 1260, length 220500 samples", or why there is nothing
// to trim.
std::string describeGapless(const GaplessInfo& info);

// Sits between the module's PCM and the output and drops what the encoder and
// the decoder added: at the start, the information frame's output, the
// encoder delay and the decoder's 529 samples; at the end the information
// frame gives, the padding less those 529 samples.  Nothing is held back,
// except after a seek, when the end is the stream's real end and the trimmer
// holds back as much as it drops there.
class GaplessTrimmer : public PcmSink {
public:
    // Passes everything on unless info trims.
    GaplessTrimmer(PcmSink& output, const GaplessInfo& gapless) : out(output), info(gapless) {}

    void setFormat(uint32_t sampleRate, uint32_t channels) override;
    bool write(const void* bytes, uint32_t count) override;
    // Takes the block's position from the module, which a seek moves.
    bool writeBlock(const PcmBlock& block) override;
    // Bytes the module handed over, trimmed or not.
    uint64_t bytesReceived() const { return received; }

private:
    bool holdBack(const uint8_t* bytes, size_t count);

    PcmSink& out;
    GaplessInfo info;
    uint64_t received = 0;
    // Offsets in the module's PCM, from the information frame's output on,
    // set with the format: of the next byte to come, of the first byte of the
    // audio, and of its end by the information frame.
    uint64_t position = 0;
    uint64_t startByte = 0;
    uint64_t endByte = UINT64_MAX;
    size_t padBytes = 0;  // the padding less the decoder's delay
    uint32_t rate = 0;
    uint64_t frameBytes = 0;      // one frame's PCM; 0 when nothing is trimmed
    bool endAtStreamEnd = false;  // after a seek
    std::vector<uint8_t> held;    // after a seek: the newest padBytes
};

}  // namespace qw::host
