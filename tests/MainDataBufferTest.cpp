#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "layer3/MainDataBuffer.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

std::vector<uint8_t> pattern(uint32_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (uint32_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

// Reads n bytes of main data from the current bit position.
std::vector<uint8_t> readBytes(MainDataBuffer& m, uint32_t n) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(m.readBits(8));
    return v;
}

// Successive frames' payloads back to back in one stream.
struct Reservoir {
    explicit Reservoir(std::vector<uint8_t> bytes) : stream(std::move(bytes)), buffer(new MainDataBuffer(&stream)) {}
    test::MemoryStream stream;
    std::unique_ptr<MainDataBuffer> buffer;
};

TEST(MainDataBuffer, FirstFrameReadsZerosInFrontOfItsPayload) {
    const auto payload = pattern(200, 1);
    Reservoir own(payload);
    own.buffer->load(200, 0);
    EXPECT_EQ(readBytes(*own.buffer, 200), payload);

    Reservoir back(payload);
    back.buffer->load(200, 300);
    EXPECT_EQ(readBytes(*back.buffer, 300), std::vector<uint8_t>(300, 0));
    EXPECT_EQ(readBytes(*back.buffer, 200), payload);
}

TEST(MainDataBuffer, CarriesReservoirBytesFromThePreviousFrame) {
    const auto a = pattern(400, 3), b = pattern(150, 90), c = pattern(100, 200);
    std::vector<uint8_t> all(a);
    all.insert(all.end(), b.begin(), b.end());
    all.insert(all.end(), c.begin(), c.end());
    Reservoir r(all);
    MainDataBuffer& m = *r.buffer;

    m.load(400, 0);
    m.load(150, 100);
    std::vector<uint8_t> expected(a.end() - 100, a.end());
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(readBytes(m, 250), expected);

    // The third frame lands in the first frame's buffer; its reservoir comes
    // from the second frame only, and the bit position starts over.
    m.load(100, 50);
    EXPECT_EQ(m.bitPosition, 0);
    expected.assign(b.end() - 50, b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(readBytes(m, 150), expected);
}

TEST(MainDataBuffer, ResetAndShortReadGiveZeros) {
    std::vector<uint8_t> all(300, 0xFF);
    all.resize(310, 0x22);
    all.resize(320, 0x33);  // the last payload has 10 of its 20 bytes
    Reservoir r(all);
    MainDataBuffer& m = *r.buffer;
    m.load(150, 0);
    m.load(150, 100);  // leaves 0xFF reservoir bytes in front of this payload
    m.reset();
    m.load(10, 0);    // same buffer as the frame before the reset
    m.load(20, 100);  // same buffer as the first frame, a short read
    std::vector<uint8_t> expected(90, 0);
    expected.resize(100, 0x22);
    expected.resize(110, 0x33);
    expected.resize(120, 0);
    EXPECT_EQ(readBytes(m, 120), expected);
}

TEST(MainDataBuffer, ReadsBitsMostSignificantFirstAndStaysInBounds) {
    Reservoir r({0xA5, 0x3C, 0xF0, 0x0F, 0x81});
    MainDataBuffer& m = *r.buffer;
    EXPECT_EQ(m.readBits(4), 0u) << "nothing loaded yet";
    m.load(5, 0);
    EXPECT_EQ(m.readBit(), 1u);
    EXPECT_EQ(m.readBits(0), 0u);
    EXPECT_EQ(m.readBits(3), 0b010u);
    EXPECT_EQ(m.readBits(12), 0x53Cu);
    EXPECT_EQ(m.readBits(25), 0b1111000000001111100000010u);
    EXPECT_EQ(m.bitPosition, 41);

    // Far beyond the data or before it: zeros, never a read outside.
    for (int32_t position : {8 * 8190, 8 * 8192, 1 << 30, -8, -1}) {
        m.bitPosition = position;
        EXPECT_EQ(m.readBits(25), 0u) << position;
        m.bitPosition = position;
        EXPECT_EQ(m.readBit(), 0u) << position;
    }
    // A bogus payload length is clamped to the buffer.
    m.load(100000, 511);
    EXPECT_EQ(m.bitPosition, 0);
}

}  // namespace
}  // namespace qw
