// Finding, testing and parsing MPEG audio frame headers.
#include "mpeg/FrameHeader.h"

#include <algorithm>

#include "mpeg/Saturating.h"

namespace qw {

namespace {

// Bitrates in bit/s: rows 0..2 MPEG-1 Layers I..III, rows 3..5 MPEG-2 (and
// MPEG-2.5) Layers I..III.  Entries 0 (free format) and 15 are invalid.
constexpr uint32_t bitrateTable[6][16] = {
    {0, 32000, 64000, 96000, 128000, 160000, 192000, 224000, 256000, 288000, 320000, 352000, 384000, 416000, 448000, 0},
    {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000, 384000, 0},
    {0, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000, 0},
    {0, 32000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 176000, 192000, 224000, 256000, 0},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 0},
    {0, 8000, 16000, 24000, 32000, 40000, 48000, 56000, 64000, 80000, 96000, 112000, 128000, 144000, 160000, 0},
};

// By versionIndex * 3 + sampleRateIndex.
constexpr uint32_t sampleRateTable[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// Milliseconds per frame by (layerIndex + 3 * versionIndex) * 3 + sampleRateIndex.
struct DurationTable {
    float ms[27];
    constexpr DurationTable() : ms() {
        for (uint32_t version = 0; version < 3; ++version) {
            for (uint32_t layer = 0; layer < 3; ++layer) {
                const uint32_t samples = layer == 0 ? 384 : (layer == 2 && version != 0) ? 576 : 1152;
                for (uint32_t rate = 0; rate < 3; ++rate) {
                    ms[(layer + 3 * version) * 3 + rate] =
                        float(double(samples) * 1000.0 / double(sampleRateTable[version * 3 + rate]));
                }
            }
        }
    }
};
constexpr DurationTable frameDurationMs;

// Header bit 19..20: 11 MPEG-1, 10 MPEG-2, 00 MPEG-2.5.
constexpr uint32_t versionIndexOfBits[4] = {2, 0, 1, 0};

// Lengths in ms and bitrates in bit/s are i32 where the host sees them; a
// figure truncated toward zero fits when it is below this.
constexpr double i32Limit = 2147483648.0;

}  // namespace

FrameHeader::FrameHeader(InputStream* stream) : source(stream) {}

uint32_t FrameHeader::bitrateOf(uint32_t versionIndex, uint32_t layerIndex, uint32_t bitrateIndex) {
    return bitrateTable[layerIndex + (versionIndex != 0 ? 3 : 0)][bitrateIndex & 15];
}

uint32_t FrameHeader::sampleRateOf(uint32_t versionIndex, uint32_t sampleRateIndex) {
    return sampleRateTable[versionIndex * 3 + sampleRateIndex];
}

float FrameHeader::frameDurationOf(uint32_t versionIndex, uint32_t layerIndex, uint32_t sampleRateIndex) {
    return frameDurationMs.ms[(layerIndex + 3 * versionIndex) * 3 + sampleRateIndex];
}

uint32_t FrameHeader::sampleRate() const { return sampleRateOf(versionIndex_, sampleRateIndex_); }
uint32_t FrameHeader::bitrate() const { return bitrateOf(versionIndex_, layerIndex_, bitrateIndex_); }
float FrameHeader::frameDuration() const { return frameDurationOf(versionIndex_, layerIndex_, sampleRateIndex_); }

bool FrameHeader::isValidHeader(uint32_t word) const {
    if ((word & 0xFFE00000u) != 0xFFE00000u) return false;
    if (((word >> 19) & 3) == 1) return false;  // reserved version
    if (((word >> 17) & 3) == 0) return false;  // reserved layer
    const uint32_t bitrateIndex = (word >> 12) & 15;
    if (bitrateIndex == 15 || bitrateIndex == 0) return false;  // free format is not played
    if (((word >> 10) & 3) == 3) return false;
    if ((word & 3) == 2) return false;                      // reserved emphasis
    if ((word & 0xFFFFFF00u) == 0xFFFFFF00u) return false;  // a run of 0xFF bytes
    // Once locked, version, layer and sample rate must stay those of the reference.
    return referenceHeader_ == 0 || ((word ^ referenceHeader_) & 0xFFFE0C00u) == 0;
}

void FrameHeader::parseHeader(uint32_t word) {
    versionIndex_ = versionIndexOfBits[(word >> 19) & 3];
    layerIndex_ = 3 - ((word >> 17) & 3);
    checkWordFlag = ((word >> 16) & 1) ? 0 : 1;
    bitrateIndex_ = (word >> 12) & 15;
    sampleRateIndex_ = (word >> 10) & 3;
    padding_ = (word >> 9) & 1;
    mode_ = (word >> 6) & 3;
    modeExtension_ = (word >> 4) & 3;
    emphasis_ = word & 3;
    channelCount_ = mode_ == 3 ? 1 : 2;

    uint32_t overhead = 4 + (checkWordFlag ? 2 : 0);
    if (layerIndex_ == 2) {
        sideInfoSize_ = versionIndex_ == 0 ? (channelCount_ == 2 ? 32 : 17) : (channelCount_ == 2 ? 17 : 9);
        overhead += sideInfoSize_;
    }
    payloadLength_ = frameBytes(bitrate(), padding_) - overhead;  // every valid header leaves a positive payload
}

uint32_t FrameHeader::readNextFrame() {
    uint8_t bytes[4];
    if (source->read(bytes, 4, 0) < 4 || source->isError()) return 1;
    uint32_t word = uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];

    if (lastHeader == 0 || word != lastHeader) {
        // Slide one byte at a time until a word passes the test.
        while (!isValidHeader(word)) {
            bool ok = false;
            const uint8_t next = source->readByte(&ok);
            if (!ok) return 1;
            word = word << 8 | next;
        }
        lastHeader = word;
        if (referenceHeader_ == 0) referenceHeader_ = word;
        parseHeader(word);
    }

    if (checkWordFlag) {
        // Stepped over; nothing verifies it.
        uint8_t check[2];
        source->read(check, 2, 0);
    }

    kbpsSum_ += bitrate() / 1000;
    frameCount_ += 1;
    positionMs += frameDuration();
    return 0;
}

bool FrameHeader::resetSync() {
    lastHeader = 0;
    referenceHeader_ = 0;
    return true;
}

// ---- Stream properties -------------------------------------------------

uint32_t FrameHeader::frameBytes(uint32_t bitsPerSecond, uint32_t padding) const {
    // Products in 64 bits: a VBR header's average may lie far above the table
    // bitrates.  Any u32 bitrate over at least 8000 Hz leaves a u32 result.
    const uint64_t bits = bitsPerSecond;
    const uint64_t hz = sampleRate();
    if (layerIndex_ == 0) return uint32_t((bits * 12 / hz + padding) * 4);
    if (layerIndex_ == 2 && versionIndex_ != 0) return uint32_t(bits * 72 / hz + padding);
    return uint32_t(bits * 144 / hz + padding);
}

int32_t FrameHeader::runningAverageKbps() const {
    // Before any frame there is no average; answer 0 rather than divide by zero.
    if (frameCount_ == 0) return 0;
    return saturatingCast<int32_t>(double(kbpsSum_) / double(frameCount_));
}

bool FrameHeader::probeVbrHeader() {
    uint8_t first[512];
    uint32_t count = 0;
    if (source->readAt(0, originStart, first, sizeof first, &count) != resultOk || count < sizeof first) {
        vbrVerdict_ = VbrVerdict::noTag;
        return false;
    }

    vbr.present = 0;
    const bool mpeg1 = (first[1] & 0x08) != 0;
    const bool mono = (first[3] >> 6) == 3;
    const uint32_t tagOffset = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);

    // Each tag letter is checked against its own set, position by position.
    static const char* const letters[4] = {"XLS", "iaq", "nmH", "ged"};
    const uint8_t* tag = first + tagOffset;
    for (int i = 0; i < 4; ++i) {
        bool match = false;
        for (const char* c = letters[i]; *c; ++c) match = match || tag[i] == uint8_t(*c);
        if (!match) {
            vbrVerdict_ = VbrVerdict::noTag;
            return false;
        }
    }

    auto bigEndian = [](const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    };
    vbr.mpeg1 = mpeg1 ? 1 : 0;
    static const int32_t rates[4] = {44100, 48000, 32000, 99999};
    vbr.sampleRate = rates[(first[2] >> 2) & 3];
    if (!mpeg1) vbr.sampleRate >>= 1;  // MPEG-2.5 is not told apart here

    const uint8_t* p = tag + 4;
    vbr.flags = bigEndian(p);
    p += 4;
    if (vbr.flags & 1) {
        vbr.frames = bigEndian(p);
        p += 4;
    }
    if (vbr.flags & 2) {
        vbr.bytes = bigEndian(p);
        p += 4;
    }
    if (vbr.flags & 4) {
        for (int i = 0; i < 100; ++i) vbr.table[i] = p[i];
        p += 100;
    }
    vbr.quality = (vbr.flags & 8) ? int32_t(bigEndian(p)) : -1;

    vbrVerdict_ = judgeVbrHeader(bigEndian(first));
    if (vbrVerdict_ != VbrVerdict::usable) return false;
    vbr.bitrate = saturatingCast<int32_t>(vbrAverageBitrate());  // within range: judged usable
    vbr.present = 1;
    return true;
}

double FrameHeader::vbrAverageBitrate() const {
    const double k = vbr.mpeg1 ? double(1.0f / 144.0f) : double(1.0f / 72.0f);
    return double(vbr.bytes) / double(vbr.frames) * double(vbr.sampleRate) * k;
}

VbrVerdict FrameHeader::judgeVbrHeader(uint32_t firstWord) const {
    // The length in ms is worked out with the frame duration of this header.
    if (!isValidHeader(firstWord)) return VbrVerdict::notAFrame;
    if (!(vbr.flags & 1)) return VbrVerdict::noFrameCount;
    if (!(vbr.flags & 2)) return VbrVerdict::noByteCount;
    if (vbr.frames == 0) return VbrVerdict::noFrames;
    if (vbr.bytes < vbr.frames) return VbrVerdict::fewerBytesThanFrames;
    const uint32_t streamBytes = source->length();  // 0: not known
    if (streamBytes != 0 && vbr.bytes > streamBytes) return VbrVerdict::bytesBeyondStream;
    const float duration =
        frameDurationOf(versionIndexOfBits[(firstWord >> 19) & 3], 3 - ((firstWord >> 17) & 3), (firstWord >> 10) & 3);
    if (double(vbr.frames) * double(duration) >= i32Limit) return VbrVerdict::lengthOutOfRange;
    if (vbrAverageBitrate() >= i32Limit) return VbrVerdict::bitrateOutOfRange;
    return VbrVerdict::usable;
}

int32_t FrameHeader::averageBitrate() const { return vbr.present ? vbr.bitrate / 1000 : runningAverageKbps(); }

int64_t FrameHeader::lengthMs() const {
    // The probe bounds the VBR length by the first frame's duration; after a
    // resetSync the current frame may last longer, hence the saturation.
    if (vbr.present) return saturatingCast<int32_t>(double(vbr.frames) * double(frameDuration()));
    const uint32_t streamBytes = source->length();
    if (streamBytes == 0) return 0;
    const uint32_t averageBytes = frameBytes(uint32_t(runningAverageKbps()) * 1000, 0);
    if (averageBytes == 0) return 0;  // no frame taken yet
    // A u32 byte count over whole bytes: the frame count fits; a long
    // stream of short frames can last longer than an i32 of ms holds.
    const int64_t frames = saturatingCast<int64_t>(double(streamBytes) / double(averageBytes));
    return saturatingCast<int32_t>(double(frames) * double(frameDuration()));
}

uint32_t FrameHeader::seekFrame(uint32_t frame) {
    const uint32_t streamBytes = source->length();
    if (streamBytes == 0) return 0;
    const uint32_t kbps = vbr.present ? uint32_t(vbr.bitrate / 1000) : uint32_t(runningAverageKbps());
    // The position lands inside a frame as a rule; the next search moves on
    // from there under the kept reference header.  A target past the end is
    // the end (the product may exceed 32 bits), where the search finds nothing.
    const uint64_t target = uint64_t(frameBytes(kbps * 1000, 0)) * frame;
    source->seek(uint32_t(std::min<uint64_t>(target, streamBytes)));
    return 0;
}

uint32_t FrameHeader::seekMs(int32_t milliseconds) {
    // An i32 of ms over at least 8 ms per frame: the quotient fits.
    int64_t frame = saturatingCast<int64_t>(double(milliseconds) / double(frameDuration())) - 1;
    if (frame < 0) frame = 0;
    seekFrame(uint32_t(frame));
    positionMs = milliseconds;
    return 0;
}

}  // namespace qw
