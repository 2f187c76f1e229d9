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

// Successive frames' payloads back to back in one stream: each frame's reservoir is the previous payload's tail, in
// two buffers that alternate.
TEST(MainDataBuffer, CarriesReservoirBytesFromThePreviousFrame) {
    Bytes a(400), b(150), c(100);
    std::iota(a.begin(), a.end(), 3), std::iota(b.begin(), b.end(), 90), std::iota(c.begin(), c.end(), 200);
    test::MemoryStream stream(join({a, b, c, Bytes(10, 0x22), Bytes(10, 0x33)}));
    MainDataBuffer m(&stream);
    m.load(400, 300), m.load(150, 100), m.load(100, 50);
    // Reaching back past the previous payload continues into what lies before it in its buffer (here the tail of a,
    // the second frame's reservoir); what a short read did not deliver reads as zeros, not as older payload.
    m.load(10, 0);
    m.load(20, 100);  // has 10 of its 20 bytes
    EXPECT_EQ(readBytes(m, 120), join({{a.end() - 90, a.end()}, Bytes(10, 0x22), Bytes(10, 0x33), Bytes(10, 0)}));
}

// Reads far beyond the data, before it, or before anything was loaded give zeros, never a read outside.
TEST(MainDataBuffer, ReadsStayInBounds) {
    test::MemoryStream stream(Bytes(5, 0xFF));
    MainDataBuffer m(&stream);
    EXPECT_EQ(m.readBits(4), 0u) << "nothing loaded yet";
    m.load(5, 0);
    for (int32_t at : {8 * 8190, 8 * 8192, 1 << 30, -8, -1}) {
        EXPECT_EQ((m.bitPosition = at, m.readBits(25)), 0u) << at;
        EXPECT_EQ((m.bitPosition = at, m.readBit()), 0u) << at;
    }
    m.load(100000, 511);  // a bogus payload length is clamped to the buffer
    EXPECT_EQ(m.bitPosition, 0);
}

}  // namespace
}  // namespace qw
