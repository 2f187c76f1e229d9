// The recorder interface: opening by path, duration, and PCM pulled in
// buffers of any size.
#include "recorder/Recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/Vectors.h"

namespace {

class RecorderObject {
public:
    RecorderObject() {
        void* object = nullptr;
        EXPECT_EQ(qw::createRecorderPluginInterface(&object), 0);
        recorder = static_cast<RecorderInterface*>(object);
    }
    ~RecorderObject() {
        if (recorder) recorder->table->destroy(recorder, recorder);
    }
    int32_t open(const std::string& path) {
        std::wstring wide(path.begin(), path.end());
        return recorder->table->openFile(recorder, recorder, wide.c_str());
    }
    double duration() {
        double ms = -1;
        EXPECT_EQ(recorder->table->getDuration(recorder, recorder, &ms), 0);
        return ms;
    }
    std::vector<uint8_t> pull(uint32_t total, uint32_t chunk) {
        std::vector<uint8_t> out(total);
        for (uint32_t at = 0; at < total; at += chunk) {
            std::vector<uint8_t> buffer(chunk, 0xEE);
            EXPECT_EQ(recorder->table->decode(recorder, recorder, buffer.data(), chunk), 0);
            std::copy(buffer.begin(), buffer.begin() + std::min(chunk, total - at), out.begin() + at);
        }
        return out;
    }

    RecorderInterface* recorder = nullptr;
};

}  // namespace

TEST(Recorder, CreateAndDestroyWithoutAFile) {
    RecorderObject r;
    ASSERT_NE(r.recorder, nullptr);
    const RecorderInterfaceTable* t = r.recorder->table;
    EXPECT_EQ(t->reserved1(r.recorder, r.recorder), 0);
    EXPECT_EQ(t->reserved2(r.recorder, r.recorder), 0);
    EXPECT_EQ(t->reserved3(r.recorder, r.recorder, 7), 0);
    EXPECT_EQ(t->closeFile(r.recorder, r.recorder), 0);
    EXPECT_EQ(r.duration(), 0.0);
    // Without a file, decode answers silence.
    EXPECT_EQ(r.pull(64, 64), std::vector<uint8_t>(64, 0));
}

TEST(Recorder, OpenFailsForMissingAndNullPaths) {
    RecorderObject r;
    EXPECT_EQ(r.open("/nonexistent/quillwave.mp3"), 1001);
    EXPECT_EQ(r.recorder->table->openFile(r.recorder, r.recorder, nullptr), 1001);
    EXPECT_EQ(r.duration(), 0.0);
}

TEST(Recorder, DurationIsFramesTimesFrameDuration) {
    struct Case {
        const char* name;
        double ms;
    };
    const Case cases[] = {{"l1-fl1", 49 * 12.0}, {"l3-he_48khz", 150 * 24.0}, {"M2L3_compl24", 212 * 24.0}};
    for (const Case& c : cases) {
        QW_REQUIRE_VECTOR(path, std::string(c.name) + ".bit");
        RecorderObject r;
        ASSERT_EQ(r.open(path), 0);
        EXPECT_NEAR(r.duration(), c.ms, 1e-3) << c.name;
        EXPECT_NEAR(r.duration(), c.ms, 1e-3) << c.name;  // asked twice
        r.pull(20000, 4608);
        EXPECT_NEAR(r.duration(), c.ms, 1e-3) << c.name;  // after decoding
    }
}

TEST(Recorder, ChunkSizeDoesNotChangeThePcm) {
    QW_REQUIRE_VECTOR(path, "l3-hecommon.bit");
    const uint32_t total = 29 * 2304 * 2;  // the whole stream
    std::vector<uint8_t> first;
    for (uint32_t chunk : {65536u, 1u, 2u, 17u, 4608u}) {
        RecorderObject r;
        ASSERT_EQ(r.open(path), 0);
        const auto pcm = r.pull(total + 1000, chunk);
        if (first.empty()) {
            first = pcm;
            // Past the end of the file the buffer is filled with silence.
            EXPECT_EQ(std::vector<uint8_t>(pcm.end() - 1000, pcm.end()), std::vector<uint8_t>(1000, 0));
        }
        EXPECT_EQ(pcm, first) << "chunk " << chunk;
    }
    const auto reference = qw::test::toSamples(qw::test::readBytes(qw::test::vectorsDir() + "/l3-hecommon.pcm"));
    const auto c = qw::test::compare(qw::test::toSamples(first), reference);
    EXPECT_GE(c.psnr, 96.0);
}

TEST(Recorder, TwoObjectsDecodeIndependently) {
    QW_REQUIRE_VECTOR(pathA, "l3-si.bit");
    QW_REQUIRE_VECTOR(pathB, "l1-fl2.bit");
    auto alone = [](const std::string& path) {
        RecorderObject r;
        EXPECT_EQ(r.open(path), 0);
        return r.pull(60000, 3000);
    };
    const auto soloA = alone(pathA), soloB = alone(pathB);
    RecorderObject a, b;
    ASSERT_EQ(a.open(pathA), 0);
    ASSERT_EQ(b.open(pathB), 0);
    std::vector<uint8_t> mixedA, mixedB;
    for (int i = 0; i < 20; ++i) {
        auto pa = a.pull(3000, 3000), pb = b.pull(3000, 3000);
        mixedA.insert(mixedA.end(), pa.begin(), pa.end());
        mixedB.insert(mixedB.end(), pb.begin(), pb.end());
    }
    EXPECT_EQ(mixedA, soloA);
    EXPECT_EQ(mixedB, soloB);
}

TEST(Recorder, OpeningAnotherFileDropsTheCarryOver) {
    QW_REQUIRE_VECTOR(pathA, "l3-si.bit");
    QW_REQUIRE_VECTOR(pathB, "l1-fl2.bit");
    RecorderObject fresh;
    ASSERT_EQ(fresh.open(pathB), 0);
    const auto expected = fresh.pull(4000, 4000);
    RecorderObject r;
    ASSERT_EQ(r.open(pathA), 0);
    r.pull(100, 100);  // leaves most of a frame carried over
    ASSERT_EQ(r.open(pathB), 0);
    EXPECT_EQ(r.pull(4000, 4000), expected);
}

namespace {
int boxes = 0;
void countBox(void*, const char* text, const char* caption) {
    if (std::string(text) == "Layer2 Unsupported" && std::string(caption) == "ERROR") ++boxes;
}
}  // namespace

TEST(Recorder, LayerTwoGivesMessagesAndNoPcm) {
    QW_REQUIRE_VECTOR(path, "l2-fl13.bit");
    boxes = 0;
    qw::sys::setMessageBoxObserver(countBox, nullptr);
    RecorderObject r;
    ASSERT_EQ(r.open(path), 0);
    EXPECT_EQ(r.pull(8192, 8192), std::vector<uint8_t>(8192, 0));
    qw::sys::setMessageBoxObserver(nullptr, nullptr);
    EXPECT_EQ(boxes, 49);
}
