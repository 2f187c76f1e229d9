// libFuzzer target: arbitrary bytes through the frame reader (with its VBR
// header probe), the Layer I decoder and both Layer III decoders, each stream
// capped at a number of frames.  Crashes, sanitizer reports and decoded
// frames whose value count does not match their header are the failures
// looked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "tests/support/DecodeLoop.h"
#include "tests/support/MemoryStream.h"

namespace {

// Enough frames to carry reservoir bytes and overlap history through several
// frames, few enough to keep each input fast.
constexpr uint32_t frameCap = 64;

// 16-bit values a decoded frame must yield: 384 samples per channel in
// Layer I, 1152 in MPEG-1 Layer III, 576 in MPEG-2 and MPEG-2.5 Layer III.
int32_t expectedValues(const qw::FrameHeader& frame) {
    const int32_t samples = frame.layerIndex() == 0 ? 384 : frame.versionIndex() == 0 ? 1152 : 576;
    return samples * int32_t(frame.channelCount());
}

// One stream, frame reader and loop per Layer III variant, made once.  The
// stream and reader are rebuilt in place for every input, so the decoders'
// borrowed pointers stay valid; the decoders themselves are kept (their
// tables are expensive to build) and reset before each input.
struct Pipeline {
    explicit Pipeline(qw::test::Layer3Variant variant)
        : stream(std::in_place, std::vector<uint8_t>()),
          header(std::in_place, &*stream),
          loop(&*header, variant, true) {}

    void run(const uint8_t* data, size_t size) {
        header.reset();
        stream.emplace(std::vector<uint8_t>(data, data + size));
        header.emplace(&*stream);
        header->probeVbrHeader();
        loop.restart();
        loop.run(
            [](const int16_t*, int32_t n, const qw::FrameHeader& frame) {
                if (n != expectedValues(frame)) std::abort();
            },
            frameCap);
    }

    std::optional<qw::test::MemoryStream> stream;
    std::optional<qw::FrameHeader> header;
    qw::test::DecodeLoop loop;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Pipeline performance(qw::test::Layer3Variant::performance);
    static Pipeline quality(qw::test::Layer3Variant::quality);
    performance.run(data, size);
    quality.run(data, size);
    return 0;
}
