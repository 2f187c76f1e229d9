// Song information through the PlayerContext, before, during and after
// playback of real streams.
#include "plugin/SongInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "support/Vectors.h"

namespace {

// The file being played and what playback did; one at a time.
struct Playback {
    std::vector<uint8_t> file;
    size_t position = 0;
    std::atomic<bool> firstWriteHeld{false};
    std::atomic<bool> release{false};
    std::atomic<bool> closed{false};
};
Playback* playback = nullptr;

QwHandle QW_CALL openOutput(uint32_t, uint32_t, uint32_t) { return 1; }

// The first block waits until released, so the test sees the stream playing.
int32_t QW_CALL writeOutput(QwHandle, const PcmBlock*) {
    if (!playback->firstWriteHeld.exchange(true)) {
        for (int i = 0; i < 1000 && !playback->release; ++i) qw::sys::sleepMs(5);
    }
    return 1;
}

void QW_CALL closeOutput(QwHandle) { playback->closed = true; }

intptr_t QW_CALL hostRequest(uint32_t, uint32_t) { return 0; }

int32_t QW_CALL readStream(void* buffer, uint32_t length, uint32_t* count) {
    const size_t n = std::min<size_t>(length, playback->file.size() - playback->position);
    if (n) std::memcpy(buffer, playback->file.data() + playback->position, n);
    playback->position += n;
    *count = uint32_t(n);
    return 1;
}

int32_t QW_CALL seekStream(int32_t offset, uint32_t origin, uint32_t* position) {
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(playback->position) : int64_t(playback->file.size());
    const int64_t at = base + offset;
    if (at < 0) return 0;
    playback->position = size_t(std::min<int64_t>(at, int64_t(playback->file.size())));
    *position = uint32_t(playback->position);
    return 1;
}

void QW_CALL getFilePath(char* buffer, uint32_t size) { qw::copyString(buffer, "memory.mp3", size); }

class SongInfo : public ::testing::Test {
protected:
    void SetUp() override {
        playback = &played;
        context.openOutput = openOutput;
        context.writeOutput = writeOutput;
        context.closeOutput = closeOutput;
        context.hostRequest = hostRequest;
        context.iniPath = "/nonexistent/quillwave-songinfo-test.ini";
        context.readStream = readStream;
        context.seekStream = seekStream;
        context.getFilePath = getFilePath;
        ASSERT_EQ(qw::initialise(&context), 1);
    }
    void TearDown() override {
        played.release = true;
        context.pluginStop(&context);
        qw::shutdown(&context);
        playback = nullptr;
    }

    // Starts playback and waits until the first block of PCM is held.
    void startAndHold(std::vector<uint8_t> file) {
        played.file = std::move(file);
        ASSERT_EQ(context.pluginStart(&context), 1);
        for (int i = 0; i < 1000 && !played.firstWriteHeld && !played.closed; ++i) qw::sys::sleepMs(5);
        ASSERT_TRUE(played.firstWriteHeld);
    }

    ::SongInfo ask(int32_t* answer) {
        ::SongInfo info{};
        *answer = context.pluginSongInfo(&context, &info);
        return info;
    }

    Playback played;
    PlayerContext context{};
};

std::vector<uint8_t> sample() { return qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/sample.mp3"); }

// Silent MPEG-2.5 Layer III frames: mono, 8000 Hz, 32 kbit/s, 288 bytes each.
std::vector<uint8_t> mpeg25MonoStream(int frames) {
    std::vector<uint8_t> stream;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> frame(288, 0);
        frame[0] = 0xFF;
        frame[1] = 0xE3;  // MPEG 2.5, Layer III, no check word
        frame[2] = 0x48;  // 32 kbit/s, 8000 Hz
        frame[3] = 0xC0;  // single channel
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

TEST_F(SongInfo, AnswersOnlyWhileAStreamIsDescribed) {
    // Before playback nothing is written.
    ::SongInfo before{};
    before.bitrateText = "untouched";
    EXPECT_EQ(context.pluginSongInfo(&context, &before), 0);
    EXPECT_STREQ(before.bitrateText, "untouched");

    auto file = sample();
    ASSERT_GT(file.size(), 128u) << "samples/sample.mp3 is missing";
    file.resize(file.size() - 128);  // without its tag
    startAndHold(file);
    int32_t answer = 0;
    ::SongInfo playing = ask(&answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(playing.artist, nullptr);
    EXPECT_EQ(playing.title, nullptr);
    EXPECT_STREQ(playing.formatText, "MPEG1\nLayer3\nStereo\n44100Hz");
    EXPECT_STREQ(playing.bitrateText, "128kb/s");
    EXPECT_EQ(playing.lengthMs, context.state->lengthMs);
    EXPECT_GT(playing.lengthMs, 3000u);

    // The thread ends by itself; until the host stops it the answer is 0
    // with empty texts.
    played.release = true;
    for (int i = 0; i < 1000 && !played.closed; ++i) qw::sys::sleepMs(5);
    ASSERT_TRUE(played.closed);
    ::SongInfo ended = ask(&answer);
    EXPECT_EQ(answer, 0);
    for (const char* text : {ended.artist, ended.title, ended.bitrateText, ended.formatText}) {
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "");
    }
}

TEST_F(SongInfo, TaggedFileNamesArtistAndTitle) {
    startAndHold(sample());
    int32_t answer = 0;
    ::SongInfo info = ask(&answer);
    ASSERT_EQ(answer, 1);
    ASSERT_EQ(context.state->tag.present, 1u);
    EXPECT_EQ(info.artist, context.state->tag.artist);
    EXPECT_EQ(info.title, context.state->tag.title);
    EXPECT_STREQ(info.artist, "Quillwave");
    EXPECT_STREQ(info.title, "Quillwave Sample");
}

TEST_F(SongInfo, Mpeg25MonoStream) {
    startAndHold(mpeg25MonoStream(40));
    int32_t answer = 0;
    ::SongInfo info = ask(&answer);
    ASSERT_EQ(answer, 1);
    EXPECT_STREQ(info.formatText, "MPEG2.5\nLayer3\nMono\n8000Hz");
    EXPECT_STREQ(info.bitrateText, "32kb/s");
    EXPECT_EQ(info.lengthMs, 2880u);  // 40 frames of 72 ms
}

}  // namespace
