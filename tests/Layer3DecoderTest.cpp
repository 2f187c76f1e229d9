// The Layer III decode driver on constructed frames: the bit reservoir across frames, reset and rejection.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <vector>

#include "layer3/Layer3Decoder.h"
#include "mpeg/FrameHeader.h"
#include "tests/support/MemoryStream.h"

namespace qw {
namespace {

struct Channel {
    uint32_t part2_3_length = 0, big_values = 0, global_gain = 0, table = 0, block_type = 0;
};

// A 417-byte MPEG-1 frame at 44.1 kHz, 128 kbit/s, mono or joint stereo: header, side
// information with no scale-factor bits, and the payload bytes placed at payloadAt.
std::vector<uint8_t> frame(uint32_t channels, uint32_t mainDataBegin, const Channel (&c)[2][2],
                           const std::vector<uint8_t>& payload = {}, size_t payloadAt = 0) {
    std::vector<uint8_t> bytes = {0xFF, 0xFB, 0x90, uint8_t(channels == 1 ? 0xC0 : 0x60)};
    uint32_t count = 0;
    const auto put = [&](uint32_t value, uint32_t width) {
        for (uint32_t i = width; i-- > 0; ++count) {
            if (count % 8 == 0) bytes.push_back(0);
            bytes.back() |= uint8_t(((value >> i) & 1) << (7 - count % 8));
        }
    };
    put(mainDataBegin, 9), put(0, (channels == 1 ? 5 : 3) + 4 * channels);  // private bits, scfsi
    for (uint32_t i = 0; i < 2 * channels; ++i) {
        const Channel& g = c[i / channels][i % channels];
        put(g.part2_3_length, 12), put(g.big_values, 9), put(g.global_gain, 8), put(0, 4);
        put(g.block_type ? 8 | g.block_type << 1 : 0, g.block_type ? 4 : 1);  // window switching
        put(g.table, 5), put(0, (g.block_type ? 14 : 17) + 3);
    }
    payloadAt += bytes.size();
    bytes.resize(417, 0);
    std::copy(payload.begin(), payload.end(), bytes.begin() + long(payloadAt));
    return bytes;
}

template <class Decoder>
struct Chain {
    explicit Chain(std::vector<uint8_t> bytes)
        : stream(std::move(bytes)), header(&stream), decoder(new Decoder(&header)) {}
    int32_t next(bool output = true) {
        return header.readNextFrame() == 0 ? decoder->decode(output ? pcm.data() : nullptr) : -2;
    }
    bool silent() const { return std::count(pcm.begin(), pcm.begin() + 1152, 0) == 1152; }
    test::MemoryStream stream;
    FrameHeader header;
    std::unique_ptr<Decoder> decoder;
    std::vector<int16_t> pcm = std::vector<int16_t>(2305, 7);
};

// Frame A codes nothing itself but carries frame B's main data at the end of its payload (one line per granule: table 1
// code 01, + sign); B points back to it. A silent frame Q with no main data follows.
template <class Decoder>
void expectReservoirAndReset() {
    const Channel silent[2][2] = {}, loud[2][2] = {{{3, 1, 230, 1, 0}, {}}, {{3, 1, 230, 1, 0}, {}}};
    std::vector<uint8_t> bytes = frame(1, 0, silent, {0x48}, 417 - 4 - 17 - 1);
    const std::vector<uint8_t> b = frame(1, 1, loud);
    for (const auto& f : {b, frame(1, 0, silent)}) bytes.insert(bytes.end(), f.begin(), f.end());

    // B decodes to a signal, also when A's output was not wanted (a null
    // output still loads the reservoir); after a reset B's main data is lost.
    Chain<Decoder> normal(bytes), skipped(bytes), reset(bytes), cleared(bytes);
    ASSERT_EQ(normal.next(), 1152);
    ASSERT_EQ(skipped.next(false), 0);
    ASSERT_EQ(reset.next(), 1152);
    reset.decoder->reset();
    for (auto* c : {&normal, &skipped, &reset}) ASSERT_EQ(c->next(), 1152);
    EXPECT_FALSE(normal.silent());
    EXPECT_EQ(skipped.pcm, normal.pcm);
    EXPECT_TRUE(reset.silent());

    // Q rings on from B, unless a reset cleared the history.
    EXPECT_EQ(normal.next(), 1152);
    EXPECT_FALSE(normal.silent());
    ASSERT_EQ(cleared.next(), 1152) << "frame A";
    ASSERT_EQ(cleared.next(), 1152) << "frame B";
    cleared.decoder->reset();
    EXPECT_EQ(cleared.next(), 1152);
    EXPECT_TRUE(cleared.silent());

    // A rejected side information reads none of the main data.  Joint-stereo granules
    // with different block types are rejected only by the quality decoder.
    Channel c[2][2] = {};
    c[1][0].big_values = 289;
    Chain<Decoder> tooBig(frame(1, 0, c));
    EXPECT_EQ(tooBig.next(), -1);
    EXPECT_EQ(tooBig.stream.position(), 4u + 17);
    c[1][0].big_values = 0, c[0][1].block_type = 1;
    Chain<Decoder> mixed(frame(2, 0, c));
    EXPECT_EQ(mixed.next(), (std::is_same_v<Decoder, Layer3Decoder> ? -1 : 2304));
}

TEST(Layer3Decoder, ReservoirResetAndSideInformationRejection) {
    expectReservoirAndReset<Layer3Decoder>();
    expectReservoirAndReset<Layer3FastDecoder>();
}

}  // namespace
}  // namespace qw
