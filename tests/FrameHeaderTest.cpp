// The frame reader: sync search, locking, payload lengths, statistics and
// stream properties.
#include "mpeg/FrameHeader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "support/MemoryStream.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

using qw::FrameHeader;
using qw::test::MemoryStream;

namespace {

// A frame of the given header word, with zero payload up to its length.
std::vector<uint8_t> frame(uint32_t word, uint32_t payload) {
    std::vector<uint8_t> bytes = {uint8_t(word >> 24), uint8_t(word >> 16), uint8_t(word >> 8), uint8_t(word)};
    bytes.resize(bytes.size() + payload, 0);
    return bytes;
}

std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Frame bytes after the header and check word, for a frame of this header.
uint32_t rest(uint32_t word) {
    MemoryStream stream(frame(word, 0));
    FrameHeader header(&stream);
    EXPECT_EQ(header.readNextFrame(), 0u);
    return header.payloadLength() + header.sideInfoSize();
}

// Takes every frame, stepping over each one's payload; the number taken.
uint32_t countFrames(MemoryStream& stream, FrameHeader& header) {
    uint32_t frames = 0;
    for (; header.readNextFrame() == 0; ++frames)
        stream.seek(stream.position() + header.payloadLength() + header.sideInfoSize());
    return frames;
}

constexpr uint32_t mpeg1Layer3 = 0xFFFB9064;  // 128 kbit/s, 44.1 kHz, joint stereo

}  // namespace

TEST(FrameHeader, PayloadLengthsOfEachKind) {
    struct Case {
        uint32_t word;
        uint32_t payload;
        uint32_t sideInfo;
    };
    const Case cases[] = {
        {0xFFFB9064, 381, 32},  // MPEG-1 Layer III: 417 bytes
        {0xFFFB9264, 382, 32},  // the same, padded
        {0xFFFF1800, 44, 0},    // Layer I, 32 kbit/s, 32 kHz: 12 slots, 48 bytes
        {0xFFFE1800, 42, 0},    // the same with a check word
        {0xFFF318C0, 23, 9},    // MPEG-2 Layer III mono, 8 kbit/s, 16 kHz: 36 bytes
        {0xFFFB90C0, 396, 17},  // MPEG-1 Layer III mono
        {0xFFE31800, 51, 17},   // MPEG-2.5 Layer III stereo, 8 kbit/s, 8 kHz: 72 bytes
    };
    for (const Case& c : cases) {
        MemoryStream stream(frame(c.word, 2));
        FrameHeader header(&stream);
        ASSERT_EQ(header.readNextFrame(), 0u) << std::hex << c.word;
        EXPECT_EQ(header.payloadLength(), c.payload) << std::hex << c.word;
        EXPECT_EQ(stream.position(), (c.word & 0x10000) ? 4u : 6u);  // a check word is consumed
        if (c.sideInfo) {
            EXPECT_EQ(header.sideInfoSize(), c.sideInfo) << std::hex << c.word;
        }
    }
}

TEST(FrameHeader, SearchSkipsGarbageAndNonHeaders) {
    // Garbage, a run of FF bytes (FF FF FF xx is never a header), then a
    // header with the reserved version 01, then the real frame.
    std::vector<uint8_t> garbage = {0x00, 0x12, 0xFF, 0xFF, 0xFF, 0xFB, 0xFF, 0xEB, 0x90, 0x64, 0x55};
    MemoryStream stream(join({garbage, frame(mpeg1Layer3, 0)}));
    FrameHeader header(&stream);
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.referenceHeader(), mpeg1Layer3);
    EXPECT_EQ(stream.position(), garbage.size() + 4);
}

TEST(FrameHeader, LocksOntoTheFirstHeaderUntilReset) {
    const uint32_t at48k = 0xFFFB9464;  // same but 48 kHz
    MemoryStream stream(join({frame(mpeg1Layer3, rest(mpeg1Layer3)), frame(at48k, rest(at48k)),
                              frame(mpeg1Layer3, rest(mpeg1Layer3)), frame(at48k, 0)}));
    FrameHeader header(&stream);
    ASSERT_EQ(header.readNextFrame(), 0u);
    stream.seek(stream.position() + rest(mpeg1Layer3));
    // The 48 kHz frame is scanned through; the next 44.1 kHz one is taken.
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.sampleRate(), 44100u);
    EXPECT_EQ(header.frameCount(), 2u);
    stream.seek(stream.position() + rest(mpeg1Layer3));
    header.resetSync();
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.sampleRate(), 48000u);
    EXPECT_EQ(header.referenceHeader(), at48k);
}

TEST(FrameHeader, RejectsInvalidFields) {
    MemoryStream stream({});
    FrameHeader header(&stream);
    EXPECT_TRUE(header.isValidHeader(mpeg1Layer3));
    EXPECT_FALSE(header.isValidHeader(0xFFEB9064));  // version 01
    EXPECT_FALSE(header.isValidHeader(0xFFF99064));  // layer 00
    EXPECT_FALSE(header.isValidHeader(0xFFFB0064));  // free format
    EXPECT_FALSE(header.isValidHeader(0xFFFBF064));  // bitrate index 15
    EXPECT_FALSE(header.isValidHeader(0xFFFB9C64));  // sample-rate index 3
    EXPECT_FALSE(header.isValidHeader(0xFFFB9066));  // emphasis 2
    EXPECT_FALSE(header.isValidHeader(0xFFFFFF10));  // FF FF FF ..
    EXPECT_FALSE(header.isValidHeader(0x7FFB9064));  // no sync
}

TEST(FrameHeader, TruncatedStreamsEndTheSearch) {
    for (size_t cut = 0; cut < 4; ++cut) {
        std::vector<uint8_t> bytes = frame(mpeg1Layer3, 0);
        bytes.resize(cut);
        MemoryStream stream(bytes);
        FrameHeader header(&stream);
        EXPECT_EQ(header.readNextFrame(), 1u) << cut;
        EXPECT_EQ(header.frameCount(), 0u);
    }
    // A header whose check word is cut off is still taken; the next call ends.
    std::vector<uint8_t> bytes = frame(0xFFFA9064, 1);
    MemoryStream stream(bytes);
    FrameHeader header(&stream);
    EXPECT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.readNextFrame(), 1u);
    // Garbage only.
    MemoryStream noise(std::vector<uint8_t>(5000, 0xAB));
    FrameHeader none(&noise);
    EXPECT_EQ(none.readNextFrame(), 1u);
}

// A constant-bitrate file: its length and the seek positions follow from the
// first frame's size.  A stream that cannot seek has no length and stays put.
TEST(FrameHeader, ConstantBitrateLengthAndSeeking) {
    const std::vector<uint8_t> bytes = frame(mpeg1Layer3, 4180000 - 4);
    MemoryStream stream(bytes);
    FrameHeader header(&stream);
    EXPECT_FALSE(header.probeVbrHeader());
    ASSERT_EQ(header.readNextFrame(), 0u);
    EXPECT_EQ(header.averageBitrate(), 128);
    EXPECT_EQ(header.lengthMs(), 261825);
    for (int32_t ms : {0, 26, 52}) {  // shorter than two frames: byte 0
        header.seekMs(ms);
        EXPECT_EQ(stream.position(), 0u) << ms;
        EXPECT_DOUBLE_EQ(header.position(), ms);
    }
    header.seekMs(1000);  // 1000 / 26.122449 = 38.28 -> frame 37
    EXPECT_EQ(stream.position(), 37u * 417);
    EXPECT_EQ(header.frameCount(), 1u);  // statistics are kept

    MemoryStream unseekable(bytes, false);
    FrameHeader blind(&unseekable);
    ASSERT_EQ(blind.readNextFrame(), 0u);
    EXPECT_EQ(blind.lengthMs(), 0);
    blind.seekMs(5000);
    EXPECT_EQ(unseekable.position(), 4u);
    EXPECT_DOUBLE_EQ(blind.position(), 5000.0);
}

namespace {

// A first frame carrying a VBR header with the given tag and fields.
std::vector<uint8_t> vbrFile(uint32_t word, const char* tag, uint32_t flags, uint32_t frames, uint32_t bytes) {
    std::vector<uint8_t> file = frame(word, 1020);
    const bool mpeg1 = (word >> 19) & 1;
    const bool mono = ((word >> 6) & 3) == 3;
    size_t at = mpeg1 ? (mono ? 21 : 36) : (mono ? 13 : 21);
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(tag[i]);
    auto put = [&](size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i) file[offset + i] = uint8_t(v >> (24 - 8 * i));
    };
    put(at + 4, flags);
    put(at + 8, frames);
    put(at + 12, bytes);
    return file;
}

}  // namespace

TEST(FrameHeader, VbrHeaderGivesLengthAndBitrate) {
    const uint32_t mpeg2 = 0xFFF39064;  // MPEG-2 Layer III, 22.05 kHz
    struct Case {
        uint32_t word;
        const char* tag;  // any mix of the letters is a tag; "Info" is not
        uint32_t frames, bytes;
        bool found;
        int32_t bitrate;
        int64_t lengthMs;
    };
    const Case cases[] = {
        {mpeg1Layer3, "Xing", 1000, 417000, true, 127706, 26122},
        {mpeg1Layer3, "SqHd", 10000, 4000000, true, 122500, 261224},
        {mpeg2, "Xing", 10000, 2000000, true, 61250, 261224},
        {mpeg1Layer3, "Info", 1000, 417000, false, 0, 0},
    };
    for (const Case& c : cases) {
        MemoryStream stream(vbrFile(c.word, c.tag, 3, c.frames, c.bytes));
        FrameHeader header(&stream);
        ASSERT_EQ(header.probeVbrHeader(), c.found) << c.tag;
        if (!c.found) continue;
        ASSERT_EQ(header.readNextFrame(), 0u);
        EXPECT_EQ(header.vbrInfo().bitrate, c.bitrate) << c.tag;
        EXPECT_EQ(header.averageBitrate(), c.bitrate / 1000) << c.tag;
        EXPECT_EQ(header.lengthMs(), c.lengthMs) << c.tag;
        EXPECT_EQ(header.vbrInfo().quality, -1);
    }
    // An ID3v2 tag in front: the first bytes are no frame header.  And a
    // stream shorter than the 512-byte probe has no VBR header.
    std::vector<uint8_t> tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 10};
    tagged.resize(20, 0);
    const auto file = vbrFile(mpeg1Layer3, "Xing", 3, 1000, 417000);
    tagged.insert(tagged.end(), file.begin(), file.end());
    for (const auto& bytes : {tagged, std::vector<uint8_t>(511, 0)}) {
        MemoryStream stream(bytes);
        FrameHeader header(&stream);
        EXPECT_FALSE(header.probeVbrHeader());
    }
}

// Every frame of each conformance stream is found, and the running time is
// the frames' duration.
TEST(FrameHeader, FindsEveryFrameOfTheConformanceStreams) {
    const std::pair<const char*, uint32_t> cases[] = {
        {"l1-fl1", 49},       {"l1-fl2", 49},       {"l1-fl3", 49},
        {"l1-fl4", 49},       {"l2-fl10", 49},      {"l2-fl13", 49},
        {"l3-compl", 217},    {"l3-he_32khz", 150}, {"l3-he_48khz", 150},
        {"l3-hecommon", 29},  {"l3-si", 118},       {"l3-si_block", 64},
        {"l3-si_huff", 75},   {"l3-sin1k0db", 318}, {"M2L3_bitrate_16_all", 476},
        {"M2L3_compl24", 212}};
    for (const auto& [name, count] : cases) {
        QW_REQUIRE_VECTOR(path, std::string(name) + ".bit");
        MemoryStream stream(qw::test::readBytes(path));
        FrameHeader header(&stream);
        const uint32_t frames = countFrames(stream, header);
        EXPECT_EQ(frames, count) << name;
        EXPECT_NEAR(header.position(), double(frames) * header.frameDuration(), 0.001 * frames) << name;
    }
}

// A VBR file as an encoder writes it: the header frame counts the frames
// that follow it.
TEST(FrameHeader, ProbesAnEncodersVbrHeader) {
    const qw::test::TempFile wav("quillwave-vbr-", ".wav"), mp3("quillwave-vbr-", ".mp3");
    const std::string make = "sox -n -r 44100 -c 2 " + wav.path +
                             " synth 3 sine 300-3000 gain -6 2>/dev/null && lame --quiet -V 4 " + wav.path + " " +
                             mp3.path + " 2>/dev/null";
    if (std::system(make.c_str()) != 0) GTEST_SKIP() << "sox and lame are needed to make a VBR file";
    MemoryStream stream(qw::test::readBytes(mp3.path));
    FrameHeader header(&stream);
    ASSERT_TRUE(header.probeVbrHeader());
    const uint32_t frames = countFrames(stream, header);
    const qw::VbrInfo& vbr = header.vbrInfo();
    EXPECT_EQ(vbr.frames, frames - 1);
    EXPECT_EQ(vbr.bytes, stream.length());
    EXPECT_EQ(header.lengthMs(), int64_t(double(vbr.frames) * double(26.122449f)));
}
