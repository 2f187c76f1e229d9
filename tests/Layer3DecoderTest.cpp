// The Layer III decode driver on constructed frames: the bit reservoir across frames, reset and rejection.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "layer3/Layer3Decoder.h"
#include "mpeg/FrameHeader.h"
#include "tests/support/MemoryStream.h"

namespace qw {
namespace {

using test::MemoryStream;

// Most significant bit first.
struct BitWriter {
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
    void put(uint32_t value, uint32_t width) {
        for (uint32_t i = width; i-- > 0;) {
            if (count % 8 == 0) bytes.push_back(0);
            if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> (count % 8));
            ++count;
        }
    }
};

struct Channel {
    uint32_t part2_3_length = 0, big_values = 0, global_gain = 0, table = 0, block_type = 0;
};

// MPEG-1 side information for long blocks (or a start block when block_type
// is 1); every granule-channel reads no scale-factor bits.
std::vector<uint8_t> mpeg1SideInfo(uint32_t mainDataBegin, uint32_t channels, const Channel (&c)[2][2]) {
    BitWriter w;
    w.put(mainDataBegin, 9);
    w.put(0, channels == 1 ? 5 : 3);
    w.put(0, 4 * channels);
    for (uint32_t gr = 0; gr < 2; ++gr) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const Channel& g = c[gr][ch];
            w.put(g.part2_3_length, 12);
            w.put(g.big_values, 9);
            w.put(g.global_gain, 8);
            w.put(0, 4);  // scalefac_compress
            if (g.block_type) {
                w.put(1, 1);
                w.put(g.block_type, 2);
                w.put(0, 1);  // mixed_block_flag
                w.put(g.table, 5);
                w.put(0, 5 + 9);  // table_select[1], subblock_gain
            } else {
                w.put(0, 1);
                w.put(g.table, 5);
                w.put(0, 10 + 4 + 3);  // table_select[1..2], region counts
            }
            w.put(0, 3);  // preflag, scalefac_scale, count1table_select
        }
    }
    return w.bytes;
}

// A frame: header, side information, then the payload (zero-padded).
std::vector<uint8_t> frame(std::vector<uint8_t> header, uint32_t size, const std::vector<uint8_t>& sideInfo,
                           const std::vector<uint8_t>& payload = {}, size_t payloadAt = 0) {
    std::vector<uint8_t> bytes = header;
    bytes.insert(bytes.end(), sideInfo.begin(), sideInfo.end());
    const size_t start = bytes.size();
    bytes.resize(size, 0);
    std::copy(payload.begin(), payload.end(), bytes.begin() + long(start + payloadAt));
    return bytes;
}

// Headers without check word: MPEG-1 44.1 kHz 128 kbit/s (417 bytes).
const std::vector<uint8_t> mpeg1Mono = {0xFF, 0xFB, 0x90, 0xC0}, mpeg1Joint = {0xFF, 0xFB, 0x90, 0x60};
;

// One line of channel 0, granule 0: table 1 code 01 (pair 1, 0), sign +.
const std::vector<uint8_t> oneLine = {0x40};
Channel loud() { return Channel{3, 1, 230, 1, 0}; }

template <class Decoder>
struct Chain {
    explicit Chain(std::vector<uint8_t> bytes)
        : stream(std::move(bytes)), header(&stream), decoder(new Decoder(&header)) {}
    int32_t next(int16_t* out) { return header.readNextFrame() == 0 ? decoder->decode(out) : -2; }
    MemoryStream stream;
    FrameHeader header;
    std::unique_ptr<LayerDecoder> decoder;
    std::vector<int16_t> pcm = std::vector<int16_t>(2305, 7);
};

// Frame A codes nothing itself but carries frame B's main data at the end of
// its payload; B points back to it with main_data_begin.
template <class Decoder>
void expectReservoirAcrossFrames() {
    const Channel silent[2][2] = {};
    const Channel c[2][2] = {{loud(), {}}, {{}, {}}};
    const uint32_t payload = 417 - 4 - 17;
    std::vector<uint8_t> bytes = frame(mpeg1Mono, 417, mpeg1SideInfo(0, 1, silent), oneLine, payload - 1);
    const std::vector<uint8_t> b = frame(mpeg1Mono, 417, mpeg1SideInfo(1, 1, c));
    bytes.insert(bytes.end(), b.begin(), b.end());
    bytes.insert(bytes.end(), b.begin(), b.end());

    const auto silent1152 = [](const std::vector<int16_t>& pcm) {
        return std::all_of(pcm.begin(), pcm.begin() + 1152, [](int16_t v) { return v == 0; });
    };
    // B decodes to a signal, also when A's output was not wanted (a null
    // output still loads the reservoir); after a reset B's main data is lost.
    Chain<Decoder> normal(bytes), skipped(bytes), reset(bytes);
    ASSERT_EQ(normal.next(normal.pcm.data()), 1152);
    ASSERT_EQ(normal.next(normal.pcm.data()), 1152);
    EXPECT_FALSE(silent1152(normal.pcm));
    ASSERT_EQ(skipped.next(nullptr), 0);
    ASSERT_EQ(skipped.next(skipped.pcm.data()), 1152);
    EXPECT_EQ(skipped.pcm, normal.pcm);
    ASSERT_EQ(reset.next(reset.pcm.data()), 1152);
    reset.decoder->reset();
    ASSERT_EQ(reset.next(reset.pcm.data()), 1152);
    EXPECT_TRUE(silent1152(reset.pcm));

    // Reset also clears the signal history: a silent frame after a loud one
    // rings on without it and is silent with it.
    std::vector<uint8_t> loudThenSilent = frame(mpeg1Mono, 417, mpeg1SideInfo(0, 1, c), oneLine);
    const std::vector<uint8_t> quiet = frame(mpeg1Mono, 417, mpeg1SideInfo(0, 1, silent));
    loudThenSilent.insert(loudThenSilent.end(), quiet.begin(), quiet.end());
    for (bool clear : {false, true}) {
        Chain<Decoder> s(loudThenSilent);
        ASSERT_EQ(s.next(s.pcm.data()), 1152);
        if (clear) s.decoder->reset();
        ASSERT_EQ(s.next(s.pcm.data()), 1152);
        EXPECT_EQ(silent1152(s.pcm), clear);
    }
}

TEST(Layer3Decoder, ReservoirCarriesMainDataAcrossFrames) {
    expectReservoirAcrossFrames<Layer3Decoder>();
    expectReservoirAcrossFrames<Layer3FastDecoder>();
}

// A rejected side information reads none of the main data.  Joint-stereo
// granules with different block types are rejected only by the quality
// decoder.
TEST(Layer3Decoder, RejectsSideInformationBeforeMainData) {
    Channel big[2][2] = {};
    big[1][0].big_values = 289;
    Chain<Layer3FastDecoder> tooBig(frame(mpeg1Mono, 417, mpeg1SideInfo(0, 1, big)));
    EXPECT_EQ(tooBig.next(tooBig.pcm.data()), -1);
    EXPECT_EQ(tooBig.stream.position(), 4u + 17u);

    Channel mixedTypes[2][2] = {};
    mixedTypes[0][1].block_type = 1;
    const auto bytes = frame(mpeg1Joint, 417, mpeg1SideInfo(0, 2, mixedTypes));
    Chain<Layer3Decoder> q(bytes);
    Chain<Layer3FastDecoder> f(bytes);
    EXPECT_EQ(q.next(q.pcm.data()), -1);
    EXPECT_EQ(f.next(f.pcm.data()), 2304);
}

}  // namespace
}  // namespace qw
