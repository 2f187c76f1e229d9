// Layer III decoding speed: one file decoded from memory by the "Best
// Performance" and "Best Quality" decoders and, when available, by libmpg123
// (16-bit output at the stream's own rate), all in this process.  Reports
// 16-bit values per second and, at the end, the time ratios ours / libmpg123.
// The bitstream stages alone (frame reader, side information, reservoir,
// scale factors, Huffman decoding and requantization, as the decoders run
// them) are timed on the same file with each precision, with the fastest of
// the repetitions as well: those stages vary less than whole decodes on a
// busy machine.
//
// The file: $QW_BENCH_FILE, else samples/sample.mp3, else any samples/*.mp3,
// else a Layer III conformance bitstream.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "layer3/HuffmanDecoder.h"
#include "layer3/Layer3Decoder.h"
#include "layer3/ScaleFactors.h"
#include "synthesis/SimdLevel.h"
#include "tests/support/DecodeLoop.h"
#include "tests/support/MemoryStream.h"

#ifdef QW_HAVE_MPG123
#include <mpg123.h>
#endif

namespace {

using qw::test::Layer3Variant;

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string findInput() {
    namespace fs = std::filesystem;
    if (const char* chosen = std::getenv("QW_BENCH_FILE")) return chosen;
    const fs::path samples(QW_SAMPLES_DIR);
    std::error_code ec;
    if (fs::is_regular_file(samples / "sample.mp3", ec)) return (samples / "sample.mp3").string();
    if (fs::is_directory(samples, ec)) {
        for (const auto& entry : fs::directory_iterator(samples, ec)) {
            if (entry.path().extension() == ".mp3") return entry.path().string();
        }
    }
    for (const char* name : {"l3-sin1k0db.bit", "l3-compl.bit", "l3-he_48khz.bit"}) {
        const fs::path vector = fs::path(QW_VECTORS_DIR) / name;
        if (fs::is_regular_file(vector, ec)) return vector.string();
    }
    return "";
}

// Our decoding pipeline over one in-memory file.  The decoder is made once
// and reset for every pass; the stream and frame reader are rebuilt in place
// (same addresses, so the decoder's borrowed pointers stay valid).
class OurDecoder {
public:
    OurDecoder(const std::vector<uint8_t>& bytes, Layer3Variant variant)
        : bytes(bytes), stream(std::in_place, bytes), header(std::in_place, &*stream), loop(&*header, variant, true) {
        loop.prepare(2);  // build the tables outside the timed passes
    }

    // Decodes the whole file once; returns the number of 16-bit values.
    uint64_t decodeAll() {
        header.reset();
        stream.emplace(bytes);
        header.emplace(&*stream);
        loop.restart();
        int64_t checksum = 0;
        const qw::test::LoopStats stats = loop.run([&checksum](const int16_t* pcm, int32_t n, const qw::FrameHeader&) {
            if (n > 0) checksum += pcm[n - 1];
        });
        benchmark::DoNotOptimize(checksum);
        return stats.values;
    }

private:
    const std::vector<uint8_t>& bytes;
    std::optional<qw::test::MemoryStream> stream;
    std::optional<qw::FrameHeader> header;
    qw::test::DecodeLoop loop;
};

// level: the instruction set the kernels may use (the SSE2 baseline is what
// the shipped 32-bit module runs on a processor without AVX).
void runOurs(benchmark::State& state, const std::vector<uint8_t>* bytes, Layer3Variant variant, qw::simd::Level level) {
    qw::simd::cap(level);
    OurDecoder decoder(*bytes, variant);
    uint64_t values = 0;
    for (auto _ : state) values = decoder.decodeAll();
    qw::simd::cap(qw::simd::supported());
    if (values == 0) state.SkipWithError("no Layer III frame decoded");
    state.SetItemsProcessed(int64_t(values) * state.iterations());
    state.counters["values"] = double(values);
}

// The bitstream stages of every Layer III frame of the file, in the decoders'
// order, with the tables built once outside the timed passes.
template <class Policy>
class BitstreamStages {
public:
    explicit BitstreamStages(const std::vector<uint8_t>& bytes) : bytes(bytes) {}

    // One pass over the file; returns the number of granule-channels decoded.
    uint64_t decodeAll() {
        qw::test::MemoryStream stream(bytes);
        qw::FrameHeader header(&stream);
        mainData.emplace(&stream);
        uint64_t granuleChannels = 0;
        while (header.readNextFrame() == 0) {
            if (header.layerIndex() != 2 || !decodeFrame(header)) {
                std::vector<uint8_t> skipped(header.payloadLength());
                stream.read(skipped.data(), uint32_t(skipped.size()), 0);
                continue;
            }
            granuleChannels += (header.versionIndex() == 0 ? 2 : 1) * header.channelCount();
        }
        benchmark::DoNotOptimize(spectrum);
        return granuleChannels;
    }

private:
    bool decodeFrame(qw::FrameHeader& header) {
        const uint32_t row = header.versionIndex() * 3 + header.sampleRateIndex();
        if (row > 8) return false;
        qw::readSideInfo(header, sideInfo);
        if (!qw::checkSideInfo(sideInfo, header, Policy::equalJointStereoBlockTypes)) return false;
        mainData->load(header.payloadLength(), sideInfo.main_data_begin);
        for (uint32_t gr = 0; gr < (header.versionIndex() == 0 ? 2u : 1u); ++gr) {
            for (uint32_t ch = 0; ch < header.channelCount(); ++ch) {
                const qw::GranuleInfo& info = sideInfo.granule[gr][ch];
                const int32_t part2Start = mainData->bitPosition;
                qw::readScaleFactors(*mainData, sideInfo, header, ch, gr);
                qw::HuffmanResult huffman{};
                qw::decodeHuffman<Policy>(*mainData, info, qw::bandEdges[row], header.versionIndex(), part2Start,
                                          magnitudes, signs, &huffman);
                qw::requantize<Policy>(*tables, info, qw::bandEdges[row], magnitudes, signs, huffman.lineCount,
                                       spectrum);
            }
        }
        return true;
    }

    using Sample = typename Policy::Sample;
    const std::vector<uint8_t>& bytes;
    std::unique_ptr<qw::RequantizeTables<Policy>> tables = std::make_unique<qw::RequantizeTables<Policy>>();
    std::optional<qw::MainDataBuffer> mainData;
    qw::SideInfo sideInfo = {};
    uint16_t magnitudes[576] = {};
    Sample signs[576] = {};
    Sample spectrum[576] = {};
};

template <class Policy>
void runBitstreamStages(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    BitstreamStages<Policy> stages(*bytes);
    uint64_t granuleChannels = 0;
    for (auto _ : state) granuleChannels = stages.decodeAll();
    if (granuleChannels == 0) state.SkipWithError("no Layer III frame decoded");
    state.SetItemsProcessed(int64_t(granuleChannels) * state.iterations());
}

#ifdef QW_HAVE_MPG123
// libmpg123 fed the whole file from memory, decoding frame by frame into its
// own buffer, 16-bit signed output at the stream's rate and channel count,
// gapless trimming off so that every frame counts.
void runMpg123(benchmark::State& state, const std::vector<uint8_t>* bytes) {
    mpg123_init();
    int error = 0;
    mpg123_handle* handle = mpg123_new(nullptr, &error);
    if (!handle) {
        state.SkipWithError("mpg123_new failed");
        return;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_format_none(handle);
    for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
        mpg123_format(handle, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    }
    uint64_t values = 0;
    for (auto _ : state) {
        values = 0;
        mpg123_open_feed(handle);
        mpg123_feed(handle, bytes->data(), bytes->size());
        for (;;) {
            off_t frame = 0;
            unsigned char* audio = nullptr;
            size_t size = 0;
            const int result = mpg123_decode_frame(handle, &frame, &audio, &size);
            if (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
                values += size / 2;
                if (size) benchmark::DoNotOptimize(audio[size - 1]);
                continue;
            }
            break;  // MPG123_NEED_MORE or MPG123_DONE: the whole file is consumed
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    if (values == 0) state.SkipWithError("libmpg123 decoded nothing");
    state.SetItemsProcessed(int64_t(values) * state.iterations());
    state.counters["values"] = double(values);
}
#endif

// Prints the usual table and remembers each benchmark's CPU time per pass.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
                secondsPerPass[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> secondsPerPass;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::printf("sizeof(Layer3FastDecoder) = %zu bytes\n", sizeof(qw::Layer3FastDecoder));
    std::printf("sizeof(Layer3Decoder)     = %zu bytes\n", sizeof(qw::Layer3Decoder));

    const std::string path = findInput();
    const std::vector<uint8_t> bytes = path.empty() ? std::vector<uint8_t>() : readFile(path);
    if (bytes.empty()) {
        std::printf("no Layer III input found (set QW_BENCH_FILE or add samples/sample.mp3): nothing to measure\n");
        return 0;
    }
    std::printf("input: %s (%zu bytes)\n", path.c_str(), bytes.size());

    const std::string performance = "Layer3/BestPerformance";
    const std::string quality = "Layer3/BestQuality";
    const std::string reference = "Layer3/libmpg123";
    const qw::simd::Level widest = qw::simd::supported();
    benchmark::RegisterBenchmark(performance.c_str(), runOurs, &bytes, Layer3Variant::performance, widest)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(quality.c_str(), runOurs, &bytes, Layer3Variant::quality, widest)
        ->Unit(benchmark::kMillisecond);
    const std::string performanceSse2 = performance + "/sse2", qualitySse2 = quality + "/sse2";
    if (widest != qw::simd::Level::sse2) {
        benchmark::RegisterBenchmark(performanceSse2.c_str(), runOurs, &bytes, Layer3Variant::performance,
                                     qw::simd::Level::sse2)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(qualitySse2.c_str(), runOurs, &bytes, Layer3Variant::quality,
                                     qw::simd::Level::sse2)
            ->Unit(benchmark::kMillisecond);
    }
    const auto fastest = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    benchmark::RegisterBenchmark("Layer3/BitstreamStages/performance", runBitstreamStages<qw::PerformancePolicy>,
                                 &bytes)
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", fastest);
    benchmark::RegisterBenchmark("Layer3/BitstreamStages/quality", runBitstreamStages<qw::QualityPolicy>, &bytes)
        ->Unit(benchmark::kMillisecond)
        ->ComputeStatistics("min", fastest);
#ifdef QW_HAVE_MPG123
    benchmark::RegisterBenchmark(reference.c_str(), runMpg123, &bytes)->Unit(benchmark::kMillisecond);
#else
    std::printf("libmpg123 not available: no reference timing\n");
#endif

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& times = reporter.secondsPerPass;
    const auto base = times.find(reference);
    if (base != times.end() && base->second > 0) {
        std::printf("\ntime ratio, ours / libmpg123 (CPU time per pass):\n");
        for (const std::string& name : {performance, quality, performanceSse2, qualitySse2}) {
            const auto ours = times.find(name);
            if (ours != times.end()) std::printf("  %-24s %6.2f\n", name.c_str(), ours->second / base->second);
        }
    }
    return 0;
}
