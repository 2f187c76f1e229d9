#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "layer3/MainDataBuffer.h"
#include "support/MemoryStream.h"

namespace qw {
namespace {

using Bytes = std::vector<uint8_t>;

// Reads n bytes of main data from the current bit position.
Bytes readBytes(MainDataBuffer& m, uint32_t n) {
    Bytes v(n);
    for (auto& b : v) b = uint8_t(m.readBits(8));
    return v;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Successive frames' payloads back to back in one stream.  A first frame reaching back finds zeros; later ones find
// the previous payload's tail, also when the buffers swap again (the bit position starts over).
TEST(MainDataBuffer, CarriesReservoirBytesFromThePreviousFrame) {
    Bytes a(400), b(150), c(100);
    std::iota(a.begin(), a.end(), 3), std::iota(b.begin(), b.end(), 90), std::iota(c.begin(), c.end(), 200);
    test::MemoryStream stream(join({a, b, c, Bytes(10, 0x22), Bytes(10, 0x33)}));
    MainDataBuffer m(&stream);
    m.load(400, 300);
    EXPECT_EQ(readBytes(m, 700), join({Bytes(300, 0), a}));
    m.load(150, 100);
    EXPECT_EQ(readBytes(m, 250), join({{a.end() - 100, a.end()}, b}));
    m.load(100, 50);
    EXPECT_EQ(m.bitPosition, 0);
    EXPECT_EQ(readBytes(m, 150), join({{b.end() - 50, b.end()}, c}));

    // Reaching back past the previous payload continues into what lies before it in its buffer (here the tail of a,
    // the second frame's reservoir); what a short read did not deliver reads as zeros, not as older payload.
    m.load(10, 0);
    m.load(20, 100);  // has 10 of its 20 bytes
    EXPECT_EQ(readBytes(m, 120), join({{a.end() - 90, a.end()}, Bytes(10, 0x22), Bytes(10, 0x33), Bytes(10, 0)}));
    // After a reset no frame came before: zeros.
    m.reset();
    m.load(0, 40);
    EXPECT_EQ(readBytes(m, 40), Bytes(40, 0));
}

TEST(MainDataBuffer, ReadsBitsMostSignificantFirstAndStaysInBounds) {
    test::MemoryStream stream({0xA5, 0x3C, 0xF0, 0x0F, 0x81});
    MainDataBuffer m(&stream);
    EXPECT_EQ(m.readBits(4), 0u) << "nothing loaded yet";
    m.load(5, 0);
    EXPECT_EQ(m.readBit(), 1u);
    EXPECT_EQ(m.readBits(0), 0u);
    EXPECT_EQ(m.readBits(3), 0b010u);
    EXPECT_EQ(m.readBits(12), 0x53Cu);
    EXPECT_EQ(m.readBits(25), 0b1111000000001111100000010u);
    EXPECT_EQ(m.bitPosition, 41);
    // Far beyond the data or before it: zeros, never a read outside.
    for (int32_t at : {8 * 8190, 8 * 8192, 1 << 30, -8, -1}) {
        EXPECT_EQ((m.bitPosition = at, m.readBits(25)), 0u) << at;
        EXPECT_EQ((m.bitPosition = at, m.readBit()), 0u) << at;
    }
    m.load(100000, 511);  // a bogus payload length is clamped to the buffer
    EXPECT_EQ(m.bitPosition, 0);
}

}  // namespace
}  // namespace qw
