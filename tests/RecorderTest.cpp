// The recorder interface: opening by path, duration, and PCM pulled in buffers of any size.
#include "recorder/Recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "support/DecodeLoop.h"
#include "support/MemoryStream.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace {

using Bytes = std::vector<uint8_t>;

// One recorder object, with the file at path open unless path is empty.
struct RecorderObject {
    explicit RecorderObject(const std::string& path = {}) {
        void* object = nullptr;
        EXPECT_EQ(qw::createRecorderPluginInterface(&object), 0);
        r = static_cast<RecorderInterface*>(object);
        if (!path.empty()) {
            EXPECT_EQ(open(path), 0) << path;
        }
    }
    ~RecorderObject() { r->table->destroy(r, r); }
    int32_t open(const std::string& path) {
        return r->table->openFile(r, r, std::wstring(path.begin(), path.end()).c_str());
    }
    double duration() {
        double ms = -1;
        return r->table->getDuration(r, r, &ms) == 0 ? ms : -2;
    }
    // total bytes of PCM, pulled chunk bytes at a time; 0xEE marks bytes a call left unfilled.
    Bytes pull(uint32_t total, uint32_t chunk) {
        Bytes out(total + chunk, 0xEE);
        for (uint32_t at = 0; at < total; at += chunk) EXPECT_EQ(r->table->decode(r, r, &out[at], chunk), 0);
        return Bytes(out.begin(), out.begin() + total);
    }

    RecorderInterface* r = nullptr;
};

// "" when a equals b, else where they part.
template <class Values>
std::string difference(const Values& a, const Values& b) {
    if (a == b) return "";
    const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return std::to_string(a.size()) + " and " + std::to_string(b.size()) + " values, first difference at " +
           std::to_string(at.first - a.begin());
}

TEST(Recorder, WithoutAFileEverythingAnswersQuietly) {
    RecorderObject o;
    RecorderInterface* r = o.r;
    EXPECT_EQ(r->table->reserved1(r, r) + r->table->reserved2(r, r) + r->table->reserved3(r, r, 7), 0);
    EXPECT_EQ(r->table->closeFile(r, r), 0);
    EXPECT_EQ(o.open("/nonexistent/quillwave.mp3"), 1001);
    EXPECT_EQ(r->table->openFile(r, r, nullptr), 1001);
    EXPECT_EQ(o.duration(), 0.0);
    EXPECT_EQ(o.pull(64, 64), Bytes(64, 0));  // silence
}

TEST(Recorder, DurationIsFramesTimesFrameDuration) {
    const std::pair<const char*, double> cases[] = {
        {"l1-fl1", 49 * 12.0}, {"l3-he_48khz", 150 * 24.0}, {"M2L3_compl24", 212 * 24.0}};
    for (const auto& [name, ms] : cases) {
        QW_REQUIRE_VECTOR(path, std::string(name) + ".bit");
        RecorderObject o(path);
        for (int pass = 0; pass < 2; ++pass, o.pull(20000, 4608)) EXPECT_NEAR(o.duration(), ms, 1e-3) << name;
    }
}

TEST(Recorder, ChunkSizeDoesNotChangeThePcm) {
    QW_REQUIRE_VECTOR(path, "l3-hecommon.bit");
    const uint32_t total = 29 * 2304 * 2 + 1000;  // the whole stream and then some
    const Bytes first = RecorderObject(path).pull(total, 65536);
    for (uint32_t chunk : {1u, 2u, 17u, 4608u}) EXPECT_EQ(RecorderObject(path).pull(total, chunk), first) << chunk;
    // Past the end of the file the buffer is filled with silence.
    EXPECT_EQ(Bytes(first.end() - 1000, first.end()), Bytes(1000, 0));
}

TEST(Recorder, ObjectsAndFilesKeepNoStateOfOthers) {
    QW_REQUIRE_VECTOR(pathA, "l3-si.bit");
    QW_REQUIRE_VECTOR(pathB, "l1-fl2.bit");
    RecorderObject soloA(pathA), soloB(pathB), a(pathA), b(pathB);
    const Bytes pcmA = soloA.pull(60000, 3000), pcmB = soloB.pull(60000, 3000);
    for (uint32_t at = 0; at < 60000; at += 3000) {  // taking turns
        EXPECT_EQ(a.pull(3000, 3000), Bytes(pcmA.begin() + at, pcmA.begin() + at + 3000)) << at;
        EXPECT_EQ(b.pull(3000, 3000), Bytes(pcmB.begin() + at, pcmB.begin() + at + 3000)) << at;
    }

    // Opening another file drops what was carried over from the first.
    ASSERT_EQ(a.open(pathB), 0);
    EXPECT_EQ(a.pull(4000, 4000), Bytes(pcmB.begin(), pcmB.begin() + 4000));
}

// The duration scan reads the whole file; a file whose last frame is cut short ends it with a short read.  Decoding
// afterwards must not see that.
TEST(Recorder, DurationScanLeavesDecodingUntouched) {
    QW_REQUIRE_VECTOR(vector, "l3-compl.bit");
    const Bytes conformance = qw::test::readBytes(vector), sample = qw::test::readBytes(QW_SAMPLES_DIR "/sample.mp3");
    ASSERT_FALSE(sample.empty());
    // Bytes kept: whole files, cuts in a header, in the side information and in the main data.
    const std::pair<const Bytes*, std::vector<size_t>> cases[] = {
        {&conformance, {conformance.size(), conformance.size() - 1, 20002, 777}},
        {&sample, {sample.size(), 8361, 8370, 8385, 8600, 53106}}};
    for (const auto& [all, sizes] : cases) {
        for (const size_t size : sizes) {
            SCOPED_TRACE(std::to_string(size) + " of " + std::to_string(all->size()) + " bytes");
            const Bytes file(all->begin(), all->begin() + long(size));
            const qw::test::TempFile path("quillwave-recorder-", ".mp3");
            path.write(std::string(file.begin(), file.end()));
            // What playback with the quality decoder makes of the bytes.
            qw::test::MemoryStream stream(file);
            const auto played = qw::test::decodeStream(&stream, qw::test::Layer3Variant::quality).pcm;
            ASSERT_FALSE(played.empty());
            RecorderObject plain(path.path), scanned(path.path);
            EXPECT_GT(scanned.duration(), 0.0);
            const Bytes expected = plain.pull(uint32_t(played.size() * 2), 65536);
            EXPECT_EQ(difference(scanned.pull(uint32_t(played.size() * 2), 65536), expected), "");
            EXPECT_EQ(difference(qw::test::toSamples(expected), played), "");
        }
    }
}

}  // namespace
