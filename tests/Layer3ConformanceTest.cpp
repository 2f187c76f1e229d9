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

// One decoder's output, granule by granule.  Frames whose main data reaches back further than the earlier frames
// supplied are not in the reference output (the reference decoder skips them), so they are marked.
struct Decoded {
    std::vector<int16_t> pcm;  // every decoded frame
    struct Granule {
        size_t offset, count;  // in pcm
        bool mixed;            // some channel is a mixed block
        bool lacksReservoir;   // its frame's reservoir was incomplete
    };
    std::vector<Granule> granules;
    uint32_t rejected = 0;
};

// Decodes every Layer III frame found (false syncs of other layers are stepped over).  A second reader over the same
// bytes reads each frame's side information: which granules are mixed blocks, how far the main data reaches back.
template <class Decoder>
Decoded decodeAll(const std::vector<uint8_t>& bytes) {
    Decoded result;
    MemoryStream stream(bytes), sideStream(bytes);
    FrameHeader header(&stream), sideHeader(&sideStream);
    auto decoder = std::make_unique<Decoder>(&header);
    std::vector<int16_t> frame(2 * 1152);
    SideInfo sideInfo{};
    uint64_t reservoir = 0;  // payload bytes of the frames decoded so far
    while (header.readNextFrame() == 0) {
        if (header.layerIndex() != 2) continue;
        // The side reader takes the same frame header again.
        sideStream.seek(stream.position() - 4 - (header.hasCheckWord() ? 2 : 0));
        sideHeader.resetSync();
        const bool haveSide = sideHeader.readNextFrame() == 0 && readSideInfo(sideHeader, sideInfo);
        const int32_t n = decoder->decode(frame.data());
        if (n < 0) {
            ++result.rejected;
            header.resetSync();
            continue;
        }
        const bool lacksReservoir = haveSide && sideInfo.main_data_begin > reservoir;
        reservoir += header.payloadLength();
        const uint32_t channels = header.channelCount();
        const size_t perGranule = 576 * size_t(channels);
        for (size_t at = 0; at < size_t(n); at += perGranule) {
            bool mixed = false;
            for (uint32_t ch = 0; haveSide && ch < channels; ++ch)
                mixed |= sideInfo.granule[at / perGranule][ch].isMixedBlock();
            result.granules.push_back({result.pcm.size() + at, perGranule, mixed, lacksReservoir});
        }
        result.pcm.insert(result.pcm.end(), frame.begin(), frame.begin() + n);
    }
    return result;
}

// Compares the decoded granules with the reference, which holds no PCM for frames that lacked reservoir bytes.
// Left out on both sides: mixed-block granules (decoded as silence) and the two after one or after a frame that
// lacked reservoir bytes (the first overlaps its IMDCT output, the second has it in its synthesis history).
Comparison compareGranules(const Decoded& decoded, const std::vector<int16_t>& reference, size_t* leftOut) {
    std::vector<int16_t> ours, theirs;
    size_t at = 0;                    // position in the reference
    bool recent[2] = {false, false};  // the previous two granules differ from the reference's
    *leftOut = 0;
    for (const auto& granule : decoded.granules) {
        const bool touched = granule.mixed || recent[0] || recent[1];
        recent[1] = recent[0];
        recent[0] = granule.mixed || granule.lacksReservoir;
        if (granule.lacksReservoir) continue;
        for (size_t i = 0; i < granule.count && at + i < reference.size() && !touched; ++i) {
            ours.push_back(decoded.pcm[granule.offset + i]);
            theirs.push_back(reference[at + i]);
        }
        *leftOut += touched;
        at += granule.count;
    }
    return test::compare(ours, theirs);
}

class Layer3Conformance : public ::testing::TestWithParam<const char*> {};

TEST_P(Layer3Conformance, MatchesReferencePcm) {
    const std::string name = GetParam();
    QW_REQUIRE_VECTOR(bitPath, name + ".bit");
    const std::vector<uint8_t> bytes = test::readBytes(bitPath);
    const std::vector<int16_t> reference = test::toSamples(test::readBytes(test::vectorsDir() + "/" + name + ".pcm"));

    const Decoded quality = decodeAll<Layer3Decoder>(bytes);
    const Decoded fast = decodeAll<Layer3FastDecoder>(bytes);

    if (name == "l3-he_free") {  // free-format frames are never taken: no Layer III frame is decoded
        EXPECT_EQ(quality.pcm.size(), 0u);
        EXPECT_EQ(fast.pcm.size(), 0u);
        return;
    }

    size_t leftOut = 0;
    const Comparison q = compareGranules(quality, reference, &leftOut);
    const Comparison f = compareGranules(fast, reference, &leftOut);
    std::printf("%-22s quality %7.2f dB max %3d | performance %7.2f dB max %3d | %zu values", name.c_str(), q.psnr,
                q.maxDifference, f.psnr, f.maxDifference, q.compared);
    if (leftOut) std::printf(" (%zu granules left out)", leftOut);
    std::printf("\n");

    EXPECT_EQ(quality.rejected, 0u);
    EXPECT_EQ(fast.rejected, 0u);
    EXPECT_EQ(quality.pcm.size(), fast.pcm.size());
    EXPECT_GE(quality.pcm.size(), reference.size() * 9 / 10) << "decoded far less than the reference holds";
    EXPECT_GE(q.psnr, 96.0) << "quality";
    EXPECT_LE(q.maxDifference, 1) << "quality";
    EXPECT_GE(f.psnr, 96.0) << "performance";
    EXPECT_LE(f.maxDifference, 1) << "performance";
}

// Test names cannot hold '-': the vectors' names appear with '_'.
INSTANTIATE_TEST_SUITE_P(Vectors, Layer3Conformance,
                         ::testing::Values("l3-compl", "l3-he_32khz", "l3-he_48khz", "l3-hecommon", "l3-si",
                                           "l3-si_huff", "l3-si_block", "l3-sin1k0db", "l3-he_free",
                                           "M2L3_bitrate_16_all", "M2L3_compl24"),
                         [](const auto& info) {
                             std::string s = info.param;
                             std::replace(s.begin(), s.end(), '-', '_');
                             return s;
                         });

}  // namespace
}  // namespace qw
