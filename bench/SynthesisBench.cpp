// Speed of both synthesis filter banks (stereo granules of 18 time slots, at
// every instruction-set level the processor has) and of Layer I decoding from
// memory, in 16-bit values per second.  The program's main lives beside the
// Layer III benchmarks.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "mpeg/FrameHeader.h"
#include "mpeg/Layer1Decoder.h"
#include "synthesis/FastSynthesis.h"
#include "synthesis/PolyphaseSynthesis.h"
#include "synthesis/SimdLevel.h"
#include "tests/support/MemoryStream.h"

namespace {

constexpr int granuleCount = 8;  // distinct input granules cycled through

template <typename Sample>
std::vector<Sample> randomGranules() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<Sample> s(size_t(granuleCount) * 2 * 576);
    for (Sample& x : s) x = Sample(uniform(rng));
    return s;
}

template <typename Bank, typename Sample>
void runBank(benchmark::State& state) {
    qw::simd::cap(qw::simd::Level(state.range(0)));
    Bank bank;
    const std::vector<Sample> input = randomGranules<Sample>();
    int16_t block[2 * 576];
    int granule = 0;
    for (auto _ : state) {
        const Sample* s = input.data() + size_t(granule) * 2 * 576;
        const Sample* const channels[2] = {s, s + 576};
        bank.synthesizeSlots(channels, 2, 18, block);
        benchmark::DoNotOptimize(block);
        granule = (granule + 1) % granuleCount;
    }
    qw::simd::cap(qw::simd::supported());
    state.counters["values"] = benchmark::Counter(double(state.iterations()) * 2 * 576, benchmark::Counter::kIsRate);
}

// The levels from the SSE2 baseline up to the widest the processor has.
void levels(benchmark::internal::Benchmark* benchmark) {
    for (int level = 0; level <= int(qw::simd::supported()); ++level) benchmark->Arg(level);
}

void polyphaseSynthesis(benchmark::State& state) { runBank<qw::PolyphaseSynthesis, double>(state); }
void fastSynthesis(benchmark::State& state) { runBank<qw::FastSynthesis, float>(state); }
BENCHMARK(polyphaseSynthesis)->Apply(levels);
BENCHMARK(fastSynthesis)->Apply(levels);

std::vector<uint8_t> readVector(const std::string& name) {
    std::ifstream in(std::string(QW_VECTORS_DIR) + "/" + name + ".bit", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void layer1Decode(benchmark::State& state, const std::string& name) {
    const std::vector<uint8_t> bytes = readVector(name);
    if (bytes.empty()) {
        state.SkipWithError((name + ".bit not found in " QW_VECTORS_DIR).c_str());
        return;
    }
    std::vector<int16_t> pcm(768);
    double values = 0;
    for (auto _ : state) {
        qw::test::MemoryStream stream(bytes);
        qw::FrameHeader header(&stream);
        qw::Layer1Decoder decoder(&header);
        while (header.readNextFrame() == 0) {
            const int32_t n = decoder.decode(pcm.data());
            if (n < 0) header.resetSync();
            if (n > 0) values += n;
        }
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["values"] = benchmark::Counter(values, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(layer1Decode, l1_fl1, std::string("l1-fl1"));
BENCHMARK_CAPTURE(layer1Decode, l1_fl2, std::string("l1-fl2"));
BENCHMARK_CAPTURE(layer1Decode, l1_fl3, std::string("l1-fl3"));
BENCHMARK_CAPTURE(layer1Decode, l1_fl4, std::string("l1-fl4"));

}  // namespace
