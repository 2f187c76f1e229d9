// The decoding thread, and the song information it publishes, against a host made of in-memory callbacks.
#include "plugin/DecodingThread.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "support/Vectors.h"

namespace {

// One fake host at a time: the callbacks carry no player argument.
struct FakeHost {
    std::vector<uint8_t> file;
    bool seekable = true;
    size_t position = 0;

    std::mutex lock;
    std::vector<std::pair<uint32_t, uint32_t>> opened;  // (rate, channels)
    std::vector<PcmBlock> blocks;
    std::vector<std::vector<int16_t>> blockSamples;
    std::atomic<int> closed{0};
    std::atomic<QwHandle> closedHandle{99};
    std::atomic<int> infoRequests{0};
    QwHandle nextHandle = 0x100;
    bool refuseOutput = false;
    // The first writeOutput waits until released: for at most a second, or (stuck) however long, without a pause
    // the system could end the thread in; the thread that made it then reports its end.
    std::atomic<bool> holdFirstWrite{false}, firstWriteEntered{false}, releaseFirstWrite{false};
    std::atomic<bool> stickInFirstWrite{false}, releaseStuck{false}, stuckThreadGone{false};
    // Each info request asks for the song information, as a host's display does.
    PlayerContext* player = nullptr;
    std::atomic<int> songInfoRefused{0};
};
FakeHost* host = nullptr;

#if !defined(_WIN32)
// While set, every thread creation in this program returns only once the
// counter is nonzero, or after 500 ms: the creator lags behind the new thread.
std::atomic<std::atomic<int>*> lagAfterThreadCreation{nullptr};
#endif

// Sets a flag when the thread that armed it has ended (thread-local objects go last).
struct ThreadEndSignal {
    std::atomic<bool>* flag = nullptr;
    ~ThreadEndSignal() {
        if (flag) *flag = true;
    }
};
thread_local ThreadEndSignal threadEndSignal;

QwHandle QW_CALL openOutput(uint32_t rate, uint32_t channels, uint32_t) {
    std::lock_guard<std::mutex> guard(host->lock);
    host->opened.emplace_back(rate, channels);
    return host->refuseOutput ? 0 : host->nextHandle++;
}

int32_t QW_CALL writeOutput(QwHandle, const PcmBlock* block) {
    {
        std::lock_guard<std::mutex> guard(host->lock);
        host->blocks.push_back(*block);
        host->blockSamples.emplace_back(block->samples, block->samples + block->byteCount / 2);
    }
    if (host->holdFirstWrite.exchange(false)) {
        host->firstWriteEntered = true;
        for (int i = 0; i < 100 && !host->releaseFirstWrite; ++i) qw::sys::sleepMs(10);
    }
    if (host->stickInFirstWrite.exchange(false)) {
        threadEndSignal.flag = &host->stuckThreadGone;
        host->firstWriteEntered = true;
        std::atomic<bool>& release = host->releaseStuck;
        while (!release) std::this_thread::yield();
    }
    return 1;
}

void QW_CALL closeOutput(QwHandle handle) {
    host->closedHandle = handle;
    ++host->closed;
}

intptr_t QW_CALL hostRequest(uint32_t code, uint32_t) {
    if (code == QW_REQUEST_INFO_CHANGED) {
        ++host->infoRequests;
        SongInfo info{};
        if (host->player && host->player->pluginSongInfo(host->player, &info) == 0) ++host->songInfoRefused;
    }
    return 0;
}

int32_t QW_CALL readStream(void* buffer, uint32_t length, uint32_t* count) {
    size_t n = std::min<size_t>(length, host->file.size() - host->position);
    if (n) std::memcpy(buffer, host->file.data() + host->position, n);
    host->position += n;
    *count = uint32_t(n);
    return 1;
}

int32_t QW_CALL seekStream(int32_t offset, uint32_t origin, uint32_t* position) {
    if (!host->seekable) return 0;
    int64_t base = origin == 0 ? 0 : origin == 1 ? int64_t(host->position) : int64_t(host->file.size());
    int64_t at = base + offset;
    if (at < 0) return 0;
    host->position = size_t(std::min<int64_t>(at, int64_t(host->file.size())));
    *position = uint32_t(host->position);
    return 1;
}

void QW_CALL getFilePath(char* buffer, uint32_t size) { qw::copyString(buffer, "memory.mp1", size); }

class DecodingThread : public ::testing::Test {
protected:
    void SetUp() override {
        host = &fake;
        context.openOutput = openOutput, context.writeOutput = writeOutput, context.closeOutput = closeOutput;
        context.hostRequest = hostRequest, context.readStream = readStream, context.seekStream = seekStream;
        context.getFilePath = getFilePath, context.iniPath = "/nonexistent/quillwave-test.ini";
        ASSERT_EQ(qw::initialise(&context), 1);
    }
    void TearDown() override {
        qw::shutdown(&context);
        host = nullptr;
    }

    // Waits until the thread, ending by itself, closes the output.
    bool waitClosed() {
        for (int i = 0; i < 1000 && fake.closed == 0; ++i) qw::sys::sleepMs(5);
        return fake.closed != 0;
    }

    // Plays the fake file to its end.
    void playToEnd() {
        ASSERT_EQ(context.pluginStart(&context), 1);
        waitClosed();
        context.pluginStop(&context);
        ASSERT_EQ(fake.closed.load(), 1);
    }

    // Starts playback and waits until the thread is held in its first write.
    bool startHeld() {
        fake.holdFirstWrite = true, fake.firstWriteEntered = false, fake.releaseFirstWrite = false;
        if (context.pluginStart(&context) != 1) return false;
        for (int i = 0; i < 500 && !fake.firstWriteEntered; ++i) qw::sys::sleepMs(5);
        return fake.firstWriteEntered;
    }

    size_t totalValues() const {
        size_t n = 0;
        for (const auto& b : fake.blockSamples) n += b.size();
        return n;
    }

    FakeHost fake;
    PlayerContext context{};
};

// A silent MPEG-1 Layer I stereo frame at 44.1 or 48 kHz, all allocations 0; bitrates in steps of 32 kbit/s.
std::vector<uint8_t> silentLayer1Frame(uint32_t bitrateIndex, uint32_t sampleRateIndex = 0) {
    std::vector<uint8_t> f((32000 * bitrateIndex * 12 / (sampleRateIndex ? 48000 : 44100)) * 4, 0);  // slots
    f[0] = f[1] = 0xFF;                                        // MPEG-1 Layer I, no check word
    f[2] = uint8_t(bitrateIndex << 4 | sampleRateIndex << 2);  // f[3] = 0: stereo
    return f;
}

// Runs of frames, each frame repeated its count, one after another.
std::vector<uint8_t> frames(std::initializer_list<std::pair<std::vector<uint8_t>, int>> runs) {
    std::vector<uint8_t> all;
    for (const auto& [frame, times] : runs)
        for (int i = 0; i < times; ++i) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

}  // namespace

#if !defined(_WIN32)
// Stands in for the system's thread creation (the platform layer is linked into this program) and forwards to it.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) {
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    const int result = create(thread, attributes, start, argument);
    if (std::atomic<int>* counter = lagAfterThreadCreation.load()) {
        for (int i = 0; i < 500 && counter->load() == 0; ++i) usleep(1000);
    }
    return result;
}
#endif

TEST(DecodingThreadFade, RisesToHalfLevelOverTheBlock) {
    std::vector<int16_t> v(8, 1000);
    qw::fadeIn(v.data(), uint32_t(v.size()));
    // Gains 0, 1/8, 2/8, 3/8 for the four pairs.
    EXPECT_EQ(v, (std::vector<int16_t>{0, 0, 125, 125, 250, 250, 375, 375}));
    std::vector<int16_t> negative(4, -999);
    qw::fadeIn(negative.data(), 4);
    EXPECT_EQ(negative, (std::vector<int16_t>{0, 0, -249, -249}));  // truncated toward zero
}

// A seekable source has a length; a source read once plays the same without one.
TEST_F(DecodingThread, HandsOverBlocksOfAtLeast8192Values) {
    QW_REQUIRE_VECTOR(path, "l1-fl1.bit");
    for (const bool seekable : {true, false}) {
        SCOPED_TRACE(seekable ? "seekable" : "read once");
        fake.file = qw::test::readBytes(path), fake.seekable = seekable, fake.position = 0, fake.closed = 0;
        fake.opened.clear(), fake.blocks.clear(), fake.blockSamples.clear(), fake.infoRequests = 0;
        playToEnd();
        ASSERT_EQ(fake.opened.size(), 1u);
        ASSERT_GE(fake.blocks.size(), 2u);
        for (size_t i = 0; i + 1 < fake.blocks.size(); ++i) {
            EXPECT_GE(fake.blocks[i].byteCount, 8192u * 2);
            EXPECT_LT(fake.blocks[i].byteCount, (8192u + 768) * 2);
        }
        EXPECT_EQ(totalValues(), 49u * 768);
        // Positions grow to the stream's end (32 kHz: 12 ms frames).
        EXPECT_EQ(fake.blocks.back().positionMs, 49 * 12);
        EXPECT_EQ(fake.blocks.back().lengthMs, seekable ? 49 * 12 : 0);
        EXPECT_EQ(fake.closedHandle.load(), QwHandle(0x100 + !seekable));
        EXPECT_EQ(fake.infoRequests.load(), 1);
        EXPECT_EQ(context.state->infoValid, 0);  // withdrawn at the end
    }
}

// A stream shorter than a block is one block at the end; no frame, or a refused output, gives no PCM and one close.
TEST_F(DecodingThread, ShortStreamNoFrameAndRefusedOutput) {
    fake.file = frames({{silentLayer1Frame(1), 5}});
    playToEnd();
    ASSERT_EQ(fake.blockSamples.size(), 1u);
    EXPECT_EQ(fake.blockSamples[0], std::vector<int16_t>(5 * 768, 0));

    for (const bool refuse : {false, true}) {
        fake.file = refuse ? frames({{silentLayer1Frame(1), 20}}) : std::vector<uint8_t>(3000, 0x5A);
        fake.refuseOutput = refuse, fake.position = 0, fake.closed = 0, fake.infoRequests = 0;
        context.outputHandle = 0;  // what closeOutput gets when nothing was opened
        fake.opened.clear(), fake.blocks.clear();
        playToEnd();
        EXPECT_EQ(fake.opened.size(), refuse ? 1u : 0u) << refuse;
        EXPECT_EQ(fake.blocks.size(), 0u) << refuse;
        if (!refuse) {
            EXPECT_EQ(fake.closedHandle.load(), QwHandle(0));
            EXPECT_EQ(fake.infoRequests.load(), 0);
        }
    }
}

TEST_F(DecodingThread, ReopensTheOutputWhenTheSampleRateChanges) {
    // 44.1 kHz frames, a frame the Layer I decoder rejects (allocation 15),
    // then 48 kHz frames, which are taken once the sync is reset.
    auto rejected = silentLayer1Frame(1, 0);
    rejected[4] = 0xF0;
    fake.file = frames({{silentLayer1Frame(1, 0), 3}, {rejected, 1}, {silentLayer1Frame(1, 1), 4}});
    playToEnd();
    EXPECT_EQ(fake.opened, (decltype(fake.opened){{44100u, 2u}, {48000u, 2u}}));
    EXPECT_EQ(totalValues(), 7u * 768);
}

// The host is told each time the running average bitrate changes, and once for a stream whose VBR header fixes it.
TEST_F(DecodingThread, TellsTheHostWhenTheAverageBitrateChanges) {
    // A 136-byte first frame holds the header at byte 36, behind the allocations: 41 frames, 2856 bytes.
    std::vector<uint8_t> vbr = frames({{silentLayer1Frame(4), 1}, {silentLayer1Frame(2), 40}});
    std::memcpy(vbr.data() + 36, "Xing\0\0\0\x03\0\0\0\x29\0\0\x0b\x28", 16);
    // Running averages 32, 32, 42, 48 kbit/s: three changes.
    for (const auto& [file, told] :
         {std::pair{frames({{silentLayer1Frame(1), 2}, {silentLayer1Frame(2), 2}}), 3}, std::pair{vbr, 1}}) {
        fake.file = file, fake.position = 0, fake.closed = 0, fake.infoRequests = 0;
        playToEnd();
        EXPECT_EQ(fake.infoRequests.load(), told) << file.size() << " bytes";
    }
    EXPECT_EQ(context.state->lengthMs, uint32_t(41 * 8.707483f));
}

TEST_F(DecodingThread, SeekFadesTheNextBlockIn) {
    QW_REQUIRE_VECTOR(path, "l1-fl1.bit");
    fake.file = qw::test::readBytes(path);
    ASSERT_TRUE(startHeld());
    EXPECT_EQ(context.pluginSeek(&context, 100), 1);
    fake.releaseFirstWrite = true;
    waitClosed();
    context.pluginStop(&context);
    ASSERT_GE(fake.blocks.size(), 3u);
    // The block after the seek starts from silence; the information is published again.
    EXPECT_EQ(fake.blockSamples[1][0], 0);
    EXPECT_EQ(fake.blockSamples[1][1], 0);
    EXPECT_EQ(fake.infoRequests.load(), 2);
    EXPECT_GE(fake.blocks[1].positionMs, 100);
    // No thread: seeking answers 0.
    EXPECT_EQ(context.pluginSeek(&context, 0), 0);
}

// Song information describes only the stream being played: nothing before playback, empty texts after it.
TEST_F(DecodingThread, SongInfoDescribesOnlyTheStreamBeingPlayed) {
    ::SongInfo info{nullptr, nullptr, 0, "untouched", nullptr, 0, 0};
    EXPECT_EQ(context.pluginSongInfo(&context, &info), 0);
    EXPECT_STREQ(info.bitrateText, "untouched");

    // Silent MPEG-2.5 Layer III frames: mono, 8000 Hz, 32 kbit/s, 288 bytes (72 ms) each.
    std::vector<uint8_t> mpeg25(40 * 288, 0);
    for (size_t at = 0; at < mpeg25.size(); at += 288) std::copy_n("\xFF\xE3\x48\xC0", 4, mpeg25.begin() + at);
    const struct {
        std::vector<uint8_t> file;
        bool tagged;
        const char *format, *bitrate;
        uint32_t lengthMs;  // 0: about 3 s or more
    } cases[] = {{qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/sample.mp3"), true,
                  "MPEG1\nLayer3\nStereo\n44100Hz", "128kb/s", 0},
                 {mpeg25, false, "MPEG2.5\nLayer3\nMono\n8000Hz", "32kb/s", 2880}};
    for (const auto& c : cases) {
        fake.file = c.file, fake.position = 0, fake.closed = 0;
        ASSERT_TRUE(startHeld());
        info = {};
        EXPECT_EQ(context.pluginSongInfo(&context, &info), 1);
        // Artist and title point into the tag; without one they stay null.
        EXPECT_EQ(info.artist, c.tagged ? context.state->tag.artist : nullptr);
        EXPECT_EQ(info.title, c.tagged ? context.state->tag.title : nullptr);
        EXPECT_EQ(std::string(info.formatText) + "|" + info.bitrateText, std::string(c.format) + "|" + c.bitrate);
        EXPECT_TRUE(c.lengthMs ? info.lengthMs == c.lengthMs : info.lengthMs > 3000) << info.lengthMs;

        // The thread ends by itself; until the host stops it the answer is 0 with empty texts.
        fake.releaseFirstWrite = true;
        ASSERT_TRUE(waitClosed());
        EXPECT_EQ(context.pluginSongInfo(&context, &info), 0);
        for (const char* text : {info.artist, info.title, info.bitrateText, info.formatText}) EXPECT_STREQ(text, "");
        context.pluginStop(&context);
    }
}

// A stop, and a start while a thread plays, end the running thread first: its buffered PCM is dropped and its
// output closed.
TEST_F(DecodingThread, StopAndStartEndTheRunningThreadFirst) {
    QW_REQUIRE_VECTOR(path, "l1-fl1.bit");
    fake.file = qw::test::readBytes(path);
    ASSERT_TRUE(startHeld());
    EXPECT_EQ(context.state->playing, 1);
    context.pluginStop(&context);  // the held write returns after a second
    EXPECT_EQ(fake.blocks.size(), 1u);
    EXPECT_EQ(fake.closed.load(), 1);
    EXPECT_EQ(context.state->threadHandle, QwHandle(0));
    EXPECT_EQ(context.state->playing, 0);

    fake.position = 0;
    ASSERT_TRUE(startHeld());
    fake.holdFirstWrite = true, fake.firstWriteEntered = false;
    ASSERT_EQ(context.pluginStart(&context), 1);
    EXPECT_EQ(fake.closed.load(), 2);  // the held thread has closed its output and gone
    for (int i = 0; i < 500 && !fake.firstWriteEntered; ++i) qw::sys::sleepMs(5);
    fake.releaseFirstWrite = true;
    for (int i = 0; i < 1000 && fake.closed < 3; ++i) qw::sys::sleepMs(5);
    context.pluginStop(&context);
    EXPECT_EQ(fake.closed.load(), 3);
    // The new thread played the whole stream.
    EXPECT_EQ(fake.blocks.size(), 2u + 5u);
    EXPECT_EQ(fake.blocks.back().positionMs, 49 * 12);
}

#if !defined(_WIN32)
// The host may ask for the song information as soon as it is told of it: the thread's handle is stored before the
// thread takes its first step.  The creator is made to lag: thread creation returns only once the new thread has told
// the host of its stream, or after half a second when it cannot run yet.
TEST_F(DecodingThread, HostToldOfTheStreamCanAskForItAtOnce) {
    fake.file = frames({{silentLayer1Frame(1), 200}});
    fake.player = &context;
    lagAfterThreadCreation = &fake.infoRequests;
    const int32_t started = context.pluginStart(&context);
    lagAfterThreadCreation = nullptr;
    ASSERT_EQ(started, 1);
    for (int i = 0; i < 1000 && fake.infoRequests == 0; ++i) qw::sys::sleepMs(1);
    context.pluginStop(&context);
    EXPECT_EQ(fake.infoRequests.load(), 1);
    EXPECT_EQ(fake.songInfoRefused.load(), 0);
}

// A host that does not return from writeOutput within the 4 s a stop waits: the thread is ended by force.  When the
// host returns at last, after the player's state is gone, the thread calls nothing more and frees what it owned (a leak
// checker sees nothing left of it).
TEST_F(DecodingThread, ThreadEndedByForceCallsTheHostNoMoreAndFreesItsPlayback) {
    QW_REQUIRE_VECTOR(path, "l1-fl1.bit");
    fake.file = qw::test::readBytes(path);
    fake.stickInFirstWrite = true, fake.firstWriteEntered = false;
    ASSERT_EQ(context.pluginStart(&context), 1);
    for (int i = 0; i < 1000 && !fake.firstWriteEntered; ++i) qw::sys::sleepMs(5);
    ASSERT_TRUE(fake.firstWriteEntered);
    context.pluginStop(&context);
    EXPECT_EQ(context.state->threadHandle, QwHandle(0));
    qw::shutdown(&context);

    fake.releaseStuck = true;
    for (int i = 0; i < 2000 && !fake.stuckThreadGone; ++i) qw::sys::sleepMs(5);
    ASSERT_TRUE(fake.stuckThreadGone);
    EXPECT_EQ(fake.blocks.size(), 1u);
    EXPECT_EQ(fake.closed.load(), 0);  // a thread ended by force runs no end procedure
}
#endif

TEST(PluginEntry, QueryInitialiseAndShutdown) {
    const PluginDescriptor* d = qw::query();
    // The extension list's byte count covers its closing empty name.
    EXPECT_EQ(std::memcmp(d->extensions, "mp1\0mp2\0mp3\0\0", 13), 0);
    EXPECT_EQ(d->extensionBytes, 13u);

    std::string longPath(3000, 'p');
    PlayerContext context{};
    context.iniPath = longPath.c_str();
    ASSERT_EQ(qw::initialise(&context), 1);
    ASSERT_NE(context.state, nullptr);
    EXPECT_EQ(context.pluginReady(&context), 1);
    EXPECT_EQ(context.pluginExtra(), 0);
    EXPECT_EQ(context.state->playing, 0);
    EXPECT_EQ(std::strlen(qw::settingsPath()), 2047u);  // cut like lstrcpyn
    EXPECT_EQ(context.pluginStop(&context), 1);
    EXPECT_EQ(qw::shutdown(&context), 1);
    EXPECT_EQ(context.state, nullptr);
}
