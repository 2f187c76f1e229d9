// Both Layer III decoders against an independent reference decoder, over a
// generated corpus that covers every sample rate of the three MPEG versions,
// mono, stereo and joint stereo, constant and variable bitrates and check
// words.  scripts/make-corpus.sh builds the corpus (needs sox, lame and
// mpg123) into the build folder once; later runs reuse it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/DecodeLoop.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/Vectors.h"

namespace qw::test {
namespace {

constexpr double minimumPsnr = 90.0;

struct Corpus {
    std::string dir;
    std::vector<std::string> files;
    std::string problem;  // why there is no corpus, when files is empty
    bool broken = false;  // the tools are there but the script failed
};

// Builds the corpus on first use (the script keeps what exists) and lists it.
// Without the tools an earlier corpus is still used.
const Corpus& corpus() {
    static const Corpus result = [] {
        Corpus c;
        const char* override = std::getenv("QW_CORPUS_DIR");
        c.dir = override ? override : QW_BUILD_DIR "/corpus";
        std::string missing;
        for (const char* tool : {"sox", "lame", "mpg123"}) {
            if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0) missing = tool;
        }
        const std::string command =
            "bash '" QW_SAMPLES_DIR "/../scripts/make-corpus.sh' '" + c.dir + "' >'" + c.dir + ".log' 2>&1";
        if (missing.empty() && std::system(command.c_str()) != 0) {
            c.problem = "corpus script failed, see " + c.dir + ".log";
            c.broken = true;
            return c;
        }
        std::ifstream list(c.dir + "/corpus.list");
        for (std::string line; std::getline(list, line);) {
            if (!line.empty()) c.files.push_back(line);
        }
        if (c.files.empty()) c.problem = missing + " not installed or corpus list empty: no corpus to compare against";
        return c;
    }();
    return result;
}

#define QW_REQUIRE_CORPUS()                            \
    const Corpus& corpusRef = corpus();                \
    if (corpusRef.broken) FAIL() << corpusRef.problem; \
    if (corpusRef.files.empty()) GTEST_SKIP() << corpusRef.problem

struct FrameLayout {
    uint32_t offset;           // of the header
    uint32_t mainDataBytes;    // payload after the side information
    uint32_t main_data_begin;  // reservoir bytes the frame takes from earlier frames
};

// The frames of a stream, found with the frame reader; main_data_begin is
// read straight from the first bits of the side information.
std::vector<FrameLayout> frameLayouts(const std::vector<uint8_t>& bytes) {
    std::vector<FrameLayout> frames;
    MemoryStream stream(bytes);
    FrameHeader header(&stream);
    while (header.readNextFrame() == 0) {
        const uint32_t sideInfo = stream.position();
        if (sideInfo + 2 > bytes.size()) break;
        const uint32_t first = uint32_t(bytes[sideInfo]) << 8 | bytes[sideInfo + 1];
        const uint32_t begin = header.versionIndex() == 0 ? first >> 7 : first >> 8;
        frames.push_back({sideInfo - 4 - (header.hasCheckWord() ? 2 : 0), header.payloadLength(), begin});
        stream.seek(sideInfo + header.sideInfoSize() + header.payloadLength());
    }
    return frames;
}

TEST(Layer3Corpus, BothDecodersMatchReferenceDecoder) {
    QW_REQUIRE_CORPUS();
    for (Layer3Variant variant : {Layer3Variant::performance, Layer3Variant::quality}) {
        for (const std::string& name : corpusRef.files) {
            SCOPED_TRACE(name + " / " + variantName(variant));
            const std::string path = corpusRef.dir + "/" + name;
            MemoryStream stream(readBytes(path));
            const DecodedStream ours = decodeStream(&stream, variant);
            EXPECT_EQ(ours.stats.framesRejected, 0u);
            EXPECT_EQ(ours.stats.framesDecoded, ours.stats.framesTaken);
            EXPECT_EQ(ours.channels, name.find("-mono-") != std::string::npos ? 1u : 2u);
            EXPECT_EQ(ours.sampleRate, uint32_t(std::stoul(name.substr(name.find('-') + 1))));
            const std::vector<int16_t> reference = toSamples(readBytes(path + ".pcm"));
            EXPECT_EQ(ours.pcm.size(), reference.size());
            const Comparison c = compare(ours.pcm, reference);
            EXPECT_GE(c.psnr, minimumPsnr);
            std::printf("%-30s %-11s %6u frames %9.2f dB max %d\n", name.c_str(), variantName(variant),
                        ours.stats.framesDecoded, c.psnr, c.maxDifference);
        }
    }
}

// A stream joined at a frame boundary in the middle (as after a broken
// download): frames whose main_data_begin reaches back before the join get
// zeros for the missing reservoir bytes and decode to wrong PCM, but nothing
// is rejected.  The first frame whose reservoir lies wholly behind the join
// decodes its spectrum correctly; its output still carries the wrong overlap
// of the frame before, and the next frame's output the synthesis history of
// that, so from two frames on the output must agree with the reference.
TEST(Layer3Corpus, StreamJoinedMidwayRecoversOnceItsReservoirIsComplete) {
    QW_REQUIRE_CORPUS();
    constexpr size_t joinFrame = 20;
    for (Layer3Variant variant : {Layer3Variant::performance, Layer3Variant::quality}) {
        for (const std::string& name : corpusRef.files) {
            SCOPED_TRACE(name + " / " + variantName(variant));
            const std::string path = corpusRef.dir + "/" + name;
            const std::vector<uint8_t> bytes = readBytes(path);
            const std::vector<FrameLayout> frames = frameLayouts(bytes);

            // The first frame after the join whose reservoir bytes all come
            // from frames the decoder has seen.
            size_t complete = joinFrame;
            for (uint32_t seen = 0; complete < frames.size() && frames[complete].main_data_begin > seen; ++complete) {
                seen += frames[complete].mainDataBytes;
            }
            const size_t firstGood = complete + 2;
            ASSERT_LT(firstGood + 2, frames.size()) << "join too late for this file's reservoir depth";

            MemoryStream stream(std::vector<uint8_t>(bytes.begin() + frames[joinFrame].offset, bytes.end()));
            const DecodedStream ours = decodeStream(&stream, variant);
            EXPECT_EQ(ours.stats.framesRejected, 0u);
            ASSERT_EQ(ours.stats.framesDecoded, frames.size() - joinFrame);

            const std::vector<int16_t> reference = toSamples(readBytes(path + ".pcm"));
            // "m1-..." files have two granules per frame.
            const size_t frameValues = (name.rfind("m1-", 0) == 0 ? 2 : 1) * 576 * size_t(ours.channels);
            ASSERT_EQ(reference.size(), frames.size() * frameValues);
            const std::vector<int16_t> recovered(ours.pcm.begin() + (firstGood - joinFrame) * frameValues,
                                                 ours.pcm.end());
            const std::vector<int16_t> expected(reference.begin() + firstGood * frameValues, reference.end());
            ASSERT_EQ(recovered.size(), expected.size());
            EXPECT_GE(compare(recovered, expected).psnr, minimumPsnr) << "from frame " << firstGood;
        }
    }
}

}  // namespace
}  // namespace qw::test
