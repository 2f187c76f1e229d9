// The frame reader: header validity, end of stream, length, seeking and VBR headers.
#include "mpeg/FrameHeader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <tuple>
#include <vector>

#include "mpeg/Saturating.h"
#include "support/MemoryStream.h"

using qw::FrameHeader;
using qw::test::MemoryStream;

namespace {

// A frame of the given header word, with zero payload up to its length.
std::vector<uint8_t> frame(uint32_t word, uint32_t payload) {
    std::vector<uint8_t> bytes = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
    bytes.resize(bytes.size() + payload, 0);
    return bytes;
}

constexpr uint32_t mpeg1Layer3 = 0xFFFB9064;  // 128 kbit/s, 44.1 kHz, joint stereo

// A first frame carrying a VBR header with the given tag, flags and counts, padded to size bytes.
std::vector<uint8_t> vbrFile(uint32_t word, const char* tag, uint32_t frames, uint32_t bytes, uint32_t flags = 3,
                             size_t size = 1024) {
    std::vector<uint8_t> file = frame(word, uint32_t(size - 4));
    const bool mono = ((word >> 6) & 3) == 3;
    const size_t at = (word >> 19) & 1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    std::copy_n(tag, 4, file.begin() + long(at));
    for (uint32_t i = 0; i < 12; ++i)
        file[at + 4 + i] = uint8_t((i < 4 ? flags : i < 8 ? frames : bytes) >> (24 - 8 * (i % 4)));
    return file;
}

// A seekable stream that claims another length (0: unknown).
struct StatedLength : MemoryStream {
    StatedLength(std::vector<uint8_t> bytes, uint32_t claimed) : MemoryStream(std::move(bytes)), claimed(claimed) {}
    uint32_t length() override { return claimed; }
    uint32_t claimed;
};

}  // namespace

TEST(FrameHeader, RejectsInvalidFields) {
    MemoryStream stream({});
    FrameHeader header(&stream);
    EXPECT_TRUE(header.isValidHeader(mpeg1Layer3));
    // Version 01, layer 00, free format, bitrate index 15, sample-rate index 3, emphasis 2, FF FF FF .., no sync.
    for (uint32_t word :
         {0xFFEB9064, 0xFFF99064, 0xFFFB0064, 0xFFFBF064, 0xFFFB9C64, 0xFFFB9066, 0xFFFFFF10, 0x7FFB9064u})
        EXPECT_FALSE(header.isValidHeader(word)) << std::hex << word;
}

TEST(FrameHeader, TruncatedStreamsEndTheSearch) {
    const std::vector<uint8_t> whole = frame(mpeg1Layer3, 0);
    for (long cut = 0; cut < 4; ++cut) {
        MemoryStream stream({whole.begin(), whole.begin() + cut});
        EXPECT_EQ(FrameHeader(&stream).readNextFrame(), 1u) << cut;
    }
    // A header whose check word is cut off is still taken, then the search ends.
    MemoryStream stream(frame(0xFFFA9064, 1));
    FrameHeader header(&stream);
    EXPECT_EQ(header.readNextFrame(), 0u) << "the frame whose check word is cut off";
    EXPECT_EQ(header.readNextFrame(), 1u) << "after it";
}

// A constant-bitrate file: its length and the seek positions follow from the first frame's size.
TEST(FrameHeader, ConstantBitrateLengthAndSeeking) {
    MemoryStream stream(frame(mpeg1Layer3, 4180000 - 4));
    FrameHeader header(&stream);
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.lengthMs(), 261825);
    for (int32_t ms : {0, 26, 52}) {  // shorter than two frames: byte 0
        header.seekMs(ms);
        EXPECT_EQ(stream.position(), 0u) << ms;
        EXPECT_DOUBLE_EQ(header.position(), ms);
    }
    header.seekMs(1000);  // 1000 / 26.122449 = 38.28 -> frame 37
    EXPECT_EQ(stream.position(), 37u * 417);
    EXPECT_EQ(header.frameCount(), 1u);  // statistics are kept
}

TEST(FrameHeader, VbrHeaderGivesLengthAndBitrate) {
    const uint32_t mpeg2 = 0xFFF39064;  // MPEG-2 Layer III, 22.05 kHz
    // Header word, tag (any mix of the letters is a tag; "Info" is not), frames, bytes, found, bitrate, length.
    const std::tuple<uint32_t, const char*, uint32_t, uint32_t, bool, int32_t, int64_t> cases[] = {
        {mpeg1Layer3, "Xing", 1000, 417000, true, 127706, 26122},
        {mpeg1Layer3, "SqHd", 10000, 4000000, true, 122500, 261224},
        {mpeg2, "Xing", 10000, 2000000, true, 61250, 261224},
        {mpeg1Layer3, "Info", 1000, 417000, false, 0, 0},
    };
    for (const auto& [word, tag, frames, bytes, found, bitrate, lengthMs] : cases) {
        MemoryStream stream(vbrFile(word, tag, frames, bytes, 3, bytes));
        FrameHeader header(&stream);
        ASSERT_EQ(header.probeVbrHeader(), found) << tag;
        if (!found) continue;
        ASSERT_EQ(header.readNextFrame(), 0u);
        EXPECT_EQ(header.vbrInfo().bitrate, bitrate) << tag;
        EXPECT_EQ(header.lengthMs(), lengthMs) << tag;
    }
    // An ID3v2 tag in front (the first bytes are no frame header), and a stream shorter than the 512-byte probe.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> xing = vbrFile(mpeg1Layer3, "Xing", 1000, 417000);
    tagged.insert(tagged.end(), xing.begin(), xing.end());
    for (const auto& bytes : {tagged, vbrFile(mpeg1Layer3, "Xing", 1, 100, 3, 511)}) {
        MemoryStream stream(bytes);
        EXPECT_FALSE(FrameHeader(&stream).probeVbrHeader()) << bytes.size() << " bytes";
    }
}

// A VBR header whose counts are missing or cannot be true counts as absent:
// the running statistics give bitrate and length, as without one.
TEST(FrameHeader, UnusableVbrHeadersCountAsAbsent) {
    using qw::VbrVerdict;
    constexpr uint32_t all = 0xFFFFFFFFu, unknown = 0;
    const uint32_t size = 417 * 10;  // ten 128 kbit/s frames
    // Header word, flags, frames, bytes, stream length claimed, verdict.
    const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, VbrVerdict> cases[] = {
        {mpeg1Layer3, 3, 10, size, size, VbrVerdict::usable},
        {mpeg1Layer3, 3, 10, size, unknown, VbrVerdict::usable},
        {0xFFFB9C64, 3, 10, size, size, VbrVerdict::notAFrame},  // sample-rate index 3
        {mpeg1Layer3, 2, 10, size, size, VbrVerdict::noFrameCount},
        {mpeg1Layer3, 1, 10, size, size, VbrVerdict::noByteCount},
        {mpeg1Layer3, 3, 0, size, size, VbrVerdict::noFrames},
        {mpeg1Layer3, 3, 10, 9, size, VbrVerdict::fewerBytesThanFrames},
        {mpeg1Layer3, 3, 1, all, size, VbrVerdict::bytesBeyondStream},
        {mpeg1Layer3, 3, 1, all, unknown, VbrVerdict::bitrateOutOfRange},
        {mpeg1Layer3, 3, all, all, unknown, VbrVerdict::lengthOutOfRange},
        {mpeg1Layer3, 3, 82209999, all, unknown, VbrVerdict::lengthOutOfRange},  // 2147483647.6 ms
    };
    for (const auto& [word, flags, frames, bytes, length, verdict] : cases) {
        StatedLength stream(vbrFile(word, "Xing", frames, bytes, flags, size), length);
        FrameHeader header(&stream);
        const bool usable = verdict == VbrVerdict::usable;
        EXPECT_EQ(header.probeVbrHeader(), usable) << flags << " " << frames << " " << bytes;
        EXPECT_EQ(header.vbrVerdict(), verdict) << flags << " " << frames << " " << bytes;
        EXPECT_EQ(header.vbrInfo().present, usable ? 1 : 0) << flags << " " << frames << " " << bytes;
        if (word != mpeg1Layer3) continue;
        ASSERT_EQ(header.readNextFrame(), 0u);
        EXPECT_EQ(header.averageBitrate(), usable ? 127 : 128) << flags << " " << frames << " " << bytes;
        EXPECT_EQ(header.lengthMs(), length == unknown && !usable ? 0 : 261) << flags << " " << frames << " " << bytes;
    }
}

// Lengths reach the host as i32 ms: a long stream of short frames saturates.
TEST(FrameHeader, LengthSaturatesAtTheLargestI32) {
    StatedLength stream(frame(0xFFE318C0, 68), 0xFFFFFFFFu);  // MPEG-2.5 Layer III mono, 8 kbit/s: 72 bytes of 72 ms
    FrameHeader header(&stream);
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.lengthMs(), INT32_MAX);
}

TEST(Saturating, ConvertsEveryDoubleIntoTheTargetRange) {
    using qw::saturatingCast;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    // Value, as i32, as i64.
    const std::tuple<double, int32_t, int64_t> cases[] = {
        {-7.9, -7, -7},
        {2147483647.9, INT32_MAX, 2147483647},
        {4294967296.0, INT32_MAX, 4294967296},
        {-1e300, INT32_MIN, INT64_MIN},
        {1e300, INT32_MAX, INT64_MAX},
        {inf, INT32_MAX, INT64_MAX},
        {nan, 0, 0},
    };
    for (const auto& [value, i32, i64] : cases) {
        EXPECT_EQ(saturatingCast<int32_t>(value), i32) << value;
        EXPECT_EQ(saturatingCast<int64_t>(value), i64) << value;
    }
}
