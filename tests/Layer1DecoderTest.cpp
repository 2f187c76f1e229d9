#include "mpeg/Layer1Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mpeg/FrameHeader.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/Vectors.h"

namespace qw {
namespace {

// MPEG-1 Layer I frames at 48 kHz and 384 kbit/s (384 bytes, no check word), written field by
// field, most significant bit first.  Mode: 0 stereo, 1 joint stereo, 3 single channel.
struct FrameWriter {
    std::vector<uint8_t> bytes;
    size_t bits = 0;
    void begin(uint32_t mode, uint32_t extension = 0) { put(0xFFFFC4, 24), put(mode << 6 | extension << 4, 8); }
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i, ++bits)
            bytes.resize(bits / 8 + 1), bytes.back() |= uint8_t((i < 32 && (value >> i & 1)) << (7 - bits % 8));
    }
    void end() { bytes.resize((bytes.size() + 383) / 384 * 384), bits = bytes.size() * 8; }
};

// Every frame's result and PCM; a rejected frame makes the reader search afresh.
struct Decoded {
    std::vector<int32_t> results;
    std::vector<int16_t> pcm;
};

Decoded decodeAll(const std::vector<uint8_t>& bytes, bool nullOutput = false) {
    test::MemoryStream stream(bytes);
    FrameHeader header(&stream);
    Layer1Decoder decoder(&header);
    Decoded d;
    for (int16_t block[769]; header.readNextFrame() == 0;) {
        std::fill_n(block, 769, 0x5A5A);
        const int32_t n = decoder.decode(nullOutput ? nullptr : block);
        if (d.results.emplace_back(n) < 0) header.resetSync();
        d.pcm.insert(d.pcm.end(), block, block + std::max(n, 0));
        EXPECT_EQ(block[std::max(n, 0)], 0x5A5A) << "wrote past its count";
    }
    return d;
}

// A forbidden allocation code or the invalid scale index rejects a frame; the
// next frame is found and decodes.  Without an output a frame is read, not decoded.
TEST(Layer1Decoder, RejectsForbiddenCodesAndDecodesWithoutOutput) {
    FrameWriter w;
    w.begin(3), w.put(15, 4), w.end();
    w.begin(3), w.put(1 << 28, 4 * 32), w.put(63, 6), w.end();
    w.begin(3), w.end();
    w.begin(1, 3), w.end();
    EXPECT_EQ(decodeAll(w.bytes).results, (std::vector<int32_t>{-1, -1, 384, 768}));
    EXPECT_EQ(decodeAll(w.bytes, true).results, (std::vector<int32_t>{-1, -1, 0, 0}));
}

class Layer1Conformance : public testing::TestWithParam<const char*> {};

TEST_P(Layer1Conformance, MatchesReferenceOutput) {
    const std::string name = GetParam();
    QW_REQUIRE_VECTOR(bitPath, name + ".bit");
    QW_REQUIRE_VECTOR(pcmPath, name + ".pcm");
    const Decoded d = decodeAll(test::readBytes(bitPath));
    for (int32_t n : d.results) ASSERT_GT(n, 0);
    const test::Comparison c = test::compare(d.pcm, test::toSamples(test::readBytes(pcmPath)));
    EXPECT_EQ(c.compared, d.pcm.size());
    EXPECT_GE(c.psnr, 96.0);
    EXPECT_LE(c.maxDifference, 1);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Layer1Conformance, testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4"));

}  // namespace
}  // namespace qw
