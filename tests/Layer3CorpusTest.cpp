// Both Layer III decoders against an independent reference decoder, over a corpus covering every sample rate
// of the three MPEG versions, mono, stereo and joint stereo, constant and variable bitrates and check words.
// scripts/make-corpus.sh builds it (needs sox, lame and mpg123) into the build folder once; later runs reuse it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/DecodeLoop.h"
#include "tests/support/GeneratedFiles.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/Vectors.h"

namespace qw::test {
namespace {

constexpr double minimumPsnr = 90.0;

// Every corpus file through both decoders, whole and joined at a frame boundary in the middle (as after a broken
// download): frames reaching back before the join read zeros but are not rejected, and from two frames after the
// first whose reservoir lies wholly behind the join (wrong overlap, then wrong synthesis history) output matches.
TEST(Layer3Corpus, BothDecodersMatchReferenceDecoderAlsoFromAJoin) {
    static const FileSet corpus = makeFileSet("make-corpus", "corpus");
    ASSERT_FALSE(corpus.files.empty()) << corpus.problem;
    constexpr size_t joinFrame = 20;
    for (const std::string& name : corpus.files) {
        const std::vector<uint8_t> bytes = readBytes(corpus.dir + "/" + name);
        const std::vector<int16_t> reference = toSamples(readBytes(corpus.dir + "/" + name + ".pcm"));
        // Each frame's offset, payload bytes and main_data_begin (first bits of the side information).
        std::vector<uint32_t> offsets, payloads, reach;
        MemoryStream scan(bytes);
        for (FrameHeader header(&scan); header.readNextFrame() == 0 && scan.position() + 2 <= bytes.size();) {
            const uint32_t at = scan.position(), first = uint32_t(bytes[at]) << 8 | bytes[at + 1];
            offsets.push_back(at - 4 - (header.hasCheckWord() ? 2 : 0));
            payloads.push_back(header.payloadLength());
            reach.push_back(header.versionIndex() == 0 ? first >> 7 : first >> 8);
            scan.seek(at + header.sideInfoSize() + header.payloadLength());
        }
        // The first frame after the join whose reservoir bytes all come from frames the decoder saw.
        size_t complete = joinFrame;
        for (uint32_t seen = 0; complete < reach.size() && reach[complete] > seen; ++complete)
            seen += payloads[complete];
        const size_t firstGood = complete + 2;

        for (Layer3Variant variant : {Layer3Variant::performance, Layer3Variant::quality}) {
            SCOPED_TRACE(name + " / " + variantName(variant));
            MemoryStream whole(bytes);
            const DecodedStream ours = decodeStream(&whole, variant);
            EXPECT_EQ(ours.stats.framesRejected, 0u);
            EXPECT_EQ(ours.stats.framesDecoded, ours.stats.framesTaken);
            ASSERT_EQ(ours.pcm.size(), reference.size());
            EXPECT_GE(compare(ours.pcm, reference).psnr, minimumPsnr);

            ASSERT_LT(firstGood + 2, offsets.size()) << "join too late for this file's reservoir depth";
            MemoryStream joined(std::vector<uint8_t>(bytes.begin() + offsets[joinFrame], bytes.end()));
            const DecodedStream tail = decodeStream(&joined, variant);
            ASSERT_EQ(tail.stats.framesRejected, 0u);
            ASSERT_EQ(tail.stats.framesDecoded, offsets.size() - joinFrame);
            const size_t frameValues = reference.size() / offsets.size();
            const std::vector<int16_t> recovered(tail.pcm.begin() + (firstGood - joinFrame) * frameValues,
                                                 tail.pcm.end());
            const std::vector<int16_t> expected(reference.begin() + firstGood * frameValues, reference.end());
            EXPECT_GE(compare(recovered, expected).psnr, minimumPsnr) << "from frame " << firstGood;
        }
    }
}

}  // namespace
}  // namespace qw::test
