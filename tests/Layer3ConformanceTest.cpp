// Both Layer III decoders on the conformance bitstreams against their reference PCM; one row per stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "layer3/Layer3Decoder.h"
#include "layer3/SideInfo.h"
#include "mpeg/FrameHeader.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/Vectors.h"

namespace qw {
namespace {

using test::Comparison;
using test::MemoryStream;

// One decoder's output against the reference PCM, which holds none for frames whose main data reaches back further
// than the earlier frames supplied (the reference decoder skips them).  Left out on both sides: mixed-block granules
// (decoded as silence) and the two after one or after a frame that lacked reservoir bytes (the first overlaps its
// IMDCT output, the second has it in its synthesis history).
struct Result {
    Comparison comparison;
    size_t decoded = 0, leftOut = 0;  // values decoded, granules left out
};

// Decodes every Layer III frame found (false syncs of other layers are stepped over).  A second reader over the same
// bytes reads each frame's side information: which granules are mixed blocks, how far the main data reaches back.
// Every frame must decode; the values compared must reach 96 dB against the reference and lie within one LSB of it.
template <class Decoder>
Result decodeAndCompare(const std::vector<uint8_t>& bytes, const std::vector<int16_t>& reference, const char* label) {
    Result result;
    MemoryStream stream(bytes), sideStream(bytes);
    FrameHeader header(&stream), sideHeader(&sideStream);
    auto decoder = std::make_unique<Decoder>(&header);
    std::vector<int16_t> frame(2 * 1152), ours, theirs;
    SideInfo sideInfo{};
    uint64_t reservoir = 0;           // payload bytes of the frames decoded so far
    size_t at = 0;                    // position in the reference
    bool recent[2] = {false, false};  // the previous two granules differ from the reference's
    uint32_t rejected = 0;
    while (header.readNextFrame() == 0) {
        if (header.layerIndex() != 2) continue;
        // The side reader takes the same frame header again.
        sideStream.seek(stream.position() - 4 - (header.hasCheckWord() ? 2 : 0));
        sideHeader.resetSync();
        const bool haveSide = sideHeader.readNextFrame() == 0 && readSideInfo(sideHeader, sideInfo);
        const int32_t n = decoder->decode(frame.data());
        if (n < 0) {
            ++rejected;
            header.resetSync();
            continue;
        }
        const bool lacksReservoir = haveSide && sideInfo.main_data_begin > reservoir;
        reservoir += header.payloadLength();
        result.decoded += size_t(n);
        const uint32_t channels = header.channelCount();
        const size_t perGranule = 576 * size_t(channels);
        for (size_t g = 0; g * perGranule < size_t(n); ++g) {
            bool mixed = false;
            for (uint32_t ch = 0; haveSide && ch < channels; ++ch) mixed |= sideInfo.granule[g][ch].isMixedBlock();
            const bool touched = mixed || recent[0] || recent[1];
            recent[1] = recent[0];
            recent[0] = mixed || lacksReservoir;
            if (lacksReservoir) continue;
            for (size_t i = 0; i < perGranule && at + i < reference.size() && !touched; ++i) {
                ours.push_back(frame[g * perGranule + i]);
                theirs.push_back(reference[at + i]);
            }
            result.leftOut += touched;
            at += perGranule;
        }
    }
    result.comparison = test::compare(ours, theirs);
    EXPECT_EQ(rejected, 0u) << label << ": frames rejected";
    EXPECT_GE(result.comparison.psnr, 96.0) << label;
    EXPECT_LE(result.comparison.maxDifference, 1) << label;
    return result;
}

class Layer3Conformance : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer3Conformance, MatchesReferencePcm) {
    const std::string name = GetParam();
    QW_REQUIRE_VECTOR(bitPath, name + ".bit");
    const std::vector<uint8_t> bytes = test::readBytes(bitPath);
    const std::vector<int16_t> reference = test::toSamples(test::readBytes(test::vectorsDir() + "/" + name + ".pcm"));

    const Result quality = decodeAndCompare<Layer3Decoder>(bytes, reference, "quality");
    const Result fast = decodeAndCompare<Layer3FastDecoder>(bytes, reference, "performance");

    const Comparison &q = quality.comparison, &f = fast.comparison;
    std::printf("%-22s quality %7.2f dB max %3d | performance %7.2f dB max %3d | %zu values", name.c_str(), q.psnr,
                q.maxDifference, f.psnr, f.maxDifference, q.compared);
    if (fast.leftOut) std::printf(" (%zu granules left out)", fast.leftOut);
    std::printf("\n");

    EXPECT_EQ(quality.decoded, fast.decoded);
    EXPECT_GE(quality.decoded, reference.size() * 9 / 10) << "decoded far less than the reference holds";
}

// Test names cannot hold '-': the vectors' names appear with '_'.
INSTANTIATE_TEST_SUITE_P(Vectors, Layer3Conformance,
                         ::testing::Values("l3-compl", "l3-he_32khz", "l3-he_48khz", "l3-hecommon", "l3-si",
                                           "l3-si_huff", "l3-si_block", "l3-sin1k0db", "M2L3_bitrate_16_all",
                                           "M2L3_compl24"),
                         [](const auto& info) {
                             std::string s = info.param;
                             std::replace(s.begin(), s.end(), '-', '_');
                             return s;
                         });

}  // namespace
}  // namespace qw
