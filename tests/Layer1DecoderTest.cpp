#include "mpeg/Layer1Decoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "mpeg/FrameHeader.h"
#include "tests/support/MemoryStream.h"

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

// Every frame's result; a rejected frame makes the reader search afresh.
std::vector<int32_t> decodeAll(const std::vector<uint8_t>& bytes, bool nullOutput = false) {
    test::MemoryStream stream(bytes);
    FrameHeader header(&stream);
    Layer1Decoder decoder(&header);
    std::vector<int32_t> results;
    for (int16_t block[768]; header.readNextFrame() == 0;) {
        if (results.emplace_back(decoder.decode(nullOutput ? nullptr : block)) < 0) header.resetSync();
    }
    return results;
}

// A forbidden allocation code or the invalid scale index rejects a frame; the
// next frame is found and decodes.  Without an output a frame is read, not decoded.
TEST(Layer1Decoder, RejectsForbiddenCodesAndDecodesWithoutOutput) {
    FrameWriter w;
    w.begin(3), w.put(15, 4), w.end();
    w.begin(3), w.put(1 << 28, 4 * 32), w.put(63, 6), w.end();
    w.begin(3), w.end();
    w.begin(1, 3), w.end();
    EXPECT_EQ(decodeAll(w.bytes), (std::vector<int32_t>{-1, -1, 384, 768}));
    EXPECT_EQ(decodeAll(w.bytes, true), (std::vector<int32_t>{-1, -1, 0, 0}));
}

}  // namespace
}  // namespace qw
