// The frame reader: finds MPEG audio frames by their sync word, parses the
// header, steps over the check word and keeps running statistics; answers
// the stream's length, average bitrate and seeks (the stream properties).
#pragma once

#include <cstdint>

#include "plugin/InputStream.h"

namespace qw {

// The variable-bitrate header an encoder may place in the first frame.
struct VbrInfo {
    uint8_t present = 0;
    uint32_t mpeg1 = 0;
    int32_t sampleRate = 0;
    uint32_t flags = 0;
    uint32_t frames = 0;
    uint32_t bytes = 0;
    int32_t quality = -1;
    int32_t bitrate = 0;      // bit/s
    uint8_t table[100] = {};  // table of contents
};

// What the probe made of the first frame.  Only a VBR header whose counts can
// be true governs length, bitrate and seeking; any other counts as absent, and
// the running statistics answer as for a file without one.
enum class VbrVerdict : uint8_t {
    notProbed,
    noTag,  // fewer than 512 bytes, or no tag at its offset
    usable,
    notAFrame,             // the first four bytes are no valid frame header
    noFrameCount,          // flag bit 0 clear
    noByteCount,           // flag bit 1 clear
    noFrames,              // a frame count of 0
    fewerBytesThanFrames,  // every frame has bytes, so this cannot be true
    bytesBeyondStream,     // more bytes than the stream has, when its length is known
    lengthOutOfRange,      // frames x frame duration exceeds the largest length in ms
    bitrateOutOfRange,     // the average bitrate does not fit its bit/s field
};

class FrameHeader {
public:
    explicit FrameHeader(InputStream* stream);
    virtual ~FrameHeader() = default;
    FrameHeader(const FrameHeader&) = delete;
    FrameHeader& operator=(const FrameHeader&) = delete;

    // 0 when a frame was found (the stream then stands at its first payload
    // byte), 1 at the end of the stream or on a read failure.
    uint32_t readNextFrame();
    // Forgets the reference header, so the next search takes any valid one.
    bool resetSync();
    bool isValidHeader(uint32_t word) const;

    uint32_t layerIndex() const { return layerIndex_; }
    uint32_t versionIndex() const { return versionIndex_; }
    uint32_t channelCount() const { return channelCount_; }
    uint32_t sampleRate() const;
    uint32_t sampleRateIndex() const { return sampleRateIndex_; }
    uint32_t bitrateIndex() const { return bitrateIndex_; }
    uint32_t bitrate() const;  // bit/s of the current frame
    uint32_t mode() const { return mode_; }
    uint32_t modeExtension() const { return modeExtension_; }
    uint32_t payloadLength() const { return payloadLength_; }
    uint32_t sideInfoSize() const { return sideInfoSize_; }
    uint32_t hasCheckWord() const { return checkWordFlag; }
    uint32_t padding() const { return padding_; }
    uint32_t emphasis() const { return emphasis_; }
    double position() const { return positionMs; }
    InputStream* stream() const { return source; }
    uint32_t frameCount() const { return frameCount_; }
    uint32_t kbpsSum() const { return kbpsSum_; }
    uint32_t referenceHeader() const { return referenceHeader_; }
    const VbrInfo& vbrInfo() const { return vbr; }
    VbrVerdict vbrVerdict() const { return vbrVerdict_; }

    // Stream properties.
    // True when the first frame holds a usable VBR header (see VbrVerdict).
    bool probeVbrHeader();
    // At most the largest i32, the widest length the host's records hold.
    int64_t lengthMs() const;
    int32_t averageBitrate() const;  // kbit/s
    uint32_t seekMs(int32_t milliseconds);
    uint32_t seekFrame(uint32_t frame);
    // Milliseconds per frame of the current frame's kind.
    float frameDuration() const;

    static uint32_t bitrateOf(uint32_t versionIndex, uint32_t layerIndex, uint32_t bitrateIndex);
    static uint32_t sampleRateOf(uint32_t versionIndex, uint32_t sampleRateIndex);
    static float frameDurationOf(uint32_t versionIndex, uint32_t layerIndex, uint32_t sampleRateIndex);

private:
    void parseHeader(uint32_t word);
    // Bytes of a frame of the current kind at a bitrate in bit/s.
    uint32_t frameBytes(uint32_t bitsPerSecond, uint32_t padding) const;
    int32_t runningAverageKbps() const;
    // Average bitrate in bit/s of the parsed VBR header's counts.
    double vbrAverageBitrate() const;
    VbrVerdict judgeVbrHeader(uint32_t firstWord) const;

    InputStream* source;
    uint32_t versionIndex_ = 0;
    uint32_t layerIndex_ = 0;
    uint32_t checkWordFlag = 0;
    uint32_t bitrateIndex_ = 0;
    uint32_t sampleRateIndex_ = 0;
    uint32_t padding_ = 0;
    uint32_t mode_ = 0;
    uint32_t modeExtension_ = 0;
    uint32_t emphasis_ = 0;
    uint32_t payloadLength_ = 0;
    uint32_t sideInfoSize_ = 0;
    uint32_t channelCount_ = 0;
    uint32_t lastHeader = 0;
    uint32_t referenceHeader_ = 0;
    uint32_t kbpsSum_ = 0;
    uint32_t frameCount_ = 0;
    double positionMs = 0.0;
    VbrInfo vbr;
    VbrVerdict vbrVerdict_ = VbrVerdict::notProbed;
};

}  // namespace qw
