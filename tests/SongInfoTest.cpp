// Song information through the PlayerContext before, during and after playback.
#include "plugin/SongInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "support/Vectors.h"

// The file being played and what playback did.
static std::vector<uint8_t> file;
static size_t position = 0;
static std::atomic<bool> firstWriteHeld{false}, release{false}, closed{false};

static bool waitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 1000 && !flag && !closed; ++i) qw::sys::sleepMs(5);
    return flag;
}

// The first block waits until released, so the test sees the stream playing.
static int32_t QW_CALL writeOutput(QwHandle, const PcmBlock*) {
    if (!firstWriteHeld.exchange(true)) waitFor(release);
    return 1;
}

static int32_t QW_CALL readStream(void* buffer, uint32_t length, uint32_t* count) {
    *count = uint32_t(std::min<size_t>(length, file.size() - position));
    std::copy_n(file.data() + position, *count, static_cast<uint8_t*>(buffer));
    position += *count;
    return 1;
}

static int32_t QW_CALL seekStream(int32_t offset, uint32_t origin, uint32_t* at) {
    const int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(position) : int64_t(file.size());
    if (base + offset < 0) return 0;
    *at = uint32_t(position = size_t(std::min<int64_t>(base + offset, int64_t(file.size()))));
    return 1;
}

TEST(SongInfo, DescribesOnlyTheStreamBeingPlayed) {
    PlayerContext context{};
    context.openOutput = [](uint32_t, uint32_t, uint32_t) -> QwHandle { return 1; };
    context.writeOutput = writeOutput;
    context.closeOutput = [](QwHandle) { closed = true; };
    context.hostRequest = [](uint32_t, uint32_t) -> intptr_t { return 0; };
    context.iniPath = "/nonexistent/quillwave-songinfo-test.ini";
    context.readStream = readStream;
    context.seekStream = seekStream;
    context.getFilePath = [](char* buffer, uint32_t size) { qw::copyString(buffer, "memory.mp3", size); };
    ASSERT_EQ(qw::initialise(&context), 1);
    ::SongInfo info{nullptr, nullptr, 0, "untouched", nullptr, 0, 0};  // before playback nothing is written
    EXPECT_EQ(context.pluginSongInfo(&context, &info), 0);
    EXPECT_STREQ(info.bitrateText, "untouched");

    const auto sample = qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/sample.mp3");
    // Silent MPEG-2.5 Layer III frames: mono, 8000 Hz, 32 kbit/s, 288 bytes (72 ms) each.
    std::vector<uint8_t> mpeg25(40 * 288, 0);
    for (size_t at = 0; at < mpeg25.size(); at += 288) std::copy_n("\xFF\xE3\x48\xC0", 4, mpeg25.begin() + at);
    const struct {
        std::vector<uint8_t> file;
        bool tagged;
        const char *format, *bitrate;
        uint32_t lengthMs;  // 0: about 3 s or more
    } cases[] = {{sample, true, "MPEG1\nLayer3\nStereo\n44100Hz", "128kb/s", 0},
                 {mpeg25, false, "MPEG2.5\nLayer3\nMono\n8000Hz", "32kb/s", 2880}};
    for (const auto& c : cases) {
        file = c.file, position = 0, firstWriteHeld = false, release = false, closed = false;
        ASSERT_TRUE(context.pluginStart(&context) == 1 && waitFor(firstWriteHeld));
        info = {};
        EXPECT_EQ(context.pluginSongInfo(&context, &info), 1);
        // Artist and title point into the tag; without one they stay null.
        EXPECT_EQ(info.artist, c.tagged ? context.state->tag.artist : nullptr);
        EXPECT_EQ(info.title, c.tagged ? context.state->tag.title : nullptr);
        EXPECT_STREQ(info.formatText, c.format);
        EXPECT_STREQ(info.bitrateText, c.bitrate);
        EXPECT_TRUE(c.lengthMs ? info.lengthMs == c.lengthMs : info.lengthMs > 3000) << info.lengthMs;

        // The thread ends by itself; until the host stops it the answer is 0 with empty texts.
        release = true;
        ASSERT_TRUE(waitFor(closed));
        EXPECT_EQ(context.pluginSongInfo(&context, &info), 0);
        for (const char* text : {info.artist, info.title, info.bitrateText, info.formatText}) EXPECT_STREQ(text, "");
        context.pluginStop(&context);
    }
    qw::shutdown(&context);
}
