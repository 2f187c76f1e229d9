#include "mpeg/Layer1Decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "mpeg/FrameHeader.h"
#include "synthesis/FastSynthesis.h"
#include "tests/support/MemoryStream.h"
#include "tests/support/Vectors.h"

namespace qw {
namespace {

// Builds MPEG-1 Layer I frames at 48 kHz and 384 kbit/s (384 bytes, no check
// word) field by field, most significant bit first.
struct FrameWriter {
    std::vector<uint8_t> bytes;
    size_t start = 0, bits = 0;

    // mode: 0 stereo, 1 joint stereo, 3 single channel.
    void begin(uint32_t mode, uint32_t modeExtension = 0) {
        start = bytes.size();
        put(0xFFFFC4, 24);  // MPEG-1 Layer I, no check word, bitrate index 12, 48 kHz
        put(mode << 6 | modeExtension << 4, 8);
    }
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i, ++bits) {
            if (bits % 8 == 0) bytes.push_back(0);
            if (i < 32 && (value >> i & 1)) bytes.back() |= uint8_t(0x80 >> bits % 8);
        }
    }
    void end() {
        bytes.resize(start + 384);
        bits = bytes.size() * 8;
    }
};

struct Decoded {
    std::vector<int32_t> results;
    std::vector<int16_t> pcm;
};

// Decodes every frame; a rejected frame makes the reader search afresh.
Decoded decodeAll(const std::vector<uint8_t>& bytes, bool nullOutput = false) {
    test::MemoryStream stream(bytes);
    FrameHeader header(&stream);
    Layer1Decoder decoder(&header);
    Decoded d;
    int16_t block[769];
    while (header.readNextFrame() == 0) {
        std::fill(std::begin(block), std::end(block), int16_t(0x5A5A));
        const int32_t n = decoder.decode(nullOutput ? nullptr : block);
        d.results.push_back(n);
        if (n < 0) header.resetSync();
        if (n <= 0) continue;
        EXPECT_EQ(block[n], 0x5A5A) << "wrote past its count";
        d.pcm.insert(d.pcm.end(), block, block + n);
    }
    return d;
}

TEST(Layer1Decoder, SilenceRejectionAndNullOutput) {
    FrameWriter w;
    w.begin(0);
    w.put(0, 4 * 32 * 2);  // every allocation 0: no scale factor or sample bits
    w.end();
    w.begin(3);
    w.end();
    w.begin(3);
    w.put(15, 4);  // forbidden allocation code
    w.end();
    w.begin(3);
    w.put(1 << 28, 4 * 32);  // subband 0 allocated...
    w.put(63, 6);            // ...with the invalid scale factor index
    w.end();
    w.begin(0);
    w.end();
    // The rejected frames were consumed: the frames behind them decode.
    const Decoded d = decodeAll(w.bytes);
    EXPECT_EQ(d.results, (std::vector<int32_t>{768, 384, -1, -1, 768}));
    EXPECT_TRUE(std::all_of(d.pcm.begin(), d.pcm.end(), [](int16_t x) { return x == 0; }));
    EXPECT_EQ(decodeAll(w.bytes, true).results, (std::vector<int32_t>{0, 0, -1, -1, 0}));
}

TEST(Layer1Decoder, RequantizesAndSharesJointStereoSubbands) {
    // Stereo, then joint stereo with bounds 4 and 16: above the bound one
    // allocation and one code serve both channels, each with its own scale.
    // Allocation 1 gives 2-bit codes 0, 1, 2 for -2/3, 0, 2/3; scale index 3
    // is 1.0 (channel 0) and index 0 is 2.0 (channel 1).
    struct Layout {
        uint32_t mode, modeExtension, bound;
    };
    const Layout layouts[] = {{0, 0, 32}, {1, 0, 4}, {1, 3, 16}};
    const int used[] = {0, 3, 4, 9, 20};
    const float level = float(2.0 / 3.0);
    FrameWriter w;
    std::vector<float> expected;  // [frame][group][channel][subband]
    for (const Layout& f : layouts) {
        const auto isUsed = [&](uint32_t sb) {
            return std::find(std::begin(used), std::end(used), sb) != std::end(used);
        };
        w.begin(f.mode, f.modeExtension);
        // Allocation 1 per channel below the bound, one shared code above it.
        for (uint32_t sb = 0; sb < 32; ++sb) w.put(isUsed(sb) ? 0x11 : 0, sb < f.bound ? 8 : 4);
        for (size_t i = 0; i < std::size(used); ++i) w.put(3 << 6 | 0, 12);  // scale indices 3 and 0
        for (int g = 0; g < 12; ++g) {
            float values[2][32] = {};
            for (int sb : used) {
                const bool shared = uint32_t(sb) >= f.bound;
                for (int ch = 0; ch < (shared ? 1 : 2); ++ch) {
                    const uint32_t code = (g + sb + 2 * ch) % 3;
                    w.put(code, 2);
                    values[ch][sb] = (float(code) - 1) * level;
                }
                if (shared) values[1][sb] = values[0][sb];
                values[1][sb] *= 2;
            }
            expected.insert(expected.end(), &values[0][0], &values[0][0] + 64);
        }
        w.end();
    }
    const Decoded d = decodeAll(w.bytes);
    ASSERT_EQ(d.results, (std::vector<int32_t>{768, 768, 768}));

    // The same subband values through a filter bank of our own.
    FastSynthesis reference;
    std::vector<int16_t> pcm(768 * 3);
    for (size_t slot = 0; slot < 36; ++slot) {
        for (uint32_t ch = 0; ch < 2; ++ch)
            reference.synthesize(&expected[64 * slot + 32 * ch], &pcm[64 * slot], ch, 2);
    }
    EXPECT_EQ(d.pcm, pcm);
}

class Layer1Conformance : public testing::TestWithParam<const char*> {};

TEST_P(Layer1Conformance, MatchesReferenceOutput) {
    const std::string name = GetParam();
    QW_REQUIRE_VECTOR(bitPath, name + ".bit");
    QW_REQUIRE_VECTOR(pcmPath, name + ".pcm");
    const Decoded d = decodeAll(test::readBytes(bitPath));
    for (int32_t n : d.results) ASSERT_GT(n, 0);
    const test::Comparison c = test::compare(d.pcm, test::toSamples(test::readBytes(pcmPath)));
    std::printf("%s: %zu frames, %zu values, PSNR %.2f dB, max difference %d LSB\n", name.c_str(), d.results.size(),
                c.compared, c.psnr, c.maxDifference);
    EXPECT_EQ(c.compared, d.pcm.size());
    EXPECT_GE(c.psnr, 96.0);
    EXPECT_LE(c.maxDifference, 1);
}

INSTANTIATE_TEST_SUITE_P(Vectors, Layer1Conformance, testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4"));

}  // namespace
}  // namespace qw
