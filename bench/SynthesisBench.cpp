// Speed of both synthesis filter banks (stereo time slots) and of Layer I
// decoding from memory, in 16-bit values per second.  The program's main
// lives beside the Layer III benchmarks.
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
#include "tests/support/MemoryStream.h"

namespace {

constexpr int slotCount = 64;  // distinct input slots cycled through

template <typename Sample>
std::vector<Sample> randomSlots() {
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> uniform(-0.5, 0.5);
    std::vector<Sample> s(size_t(slotCount) * 2 * 32);
    for (Sample& x : s) x = Sample(uniform(rng));
    return s;
}

template <typename Bank, typename Sample>
void runBank(benchmark::State& state) {
    Bank bank;
    const std::vector<Sample> input = randomSlots<Sample>();
    int16_t block[64];
    int slot = 0;
    for (auto _ : state) {
        const Sample* s = input.data() + size_t(slot) * 64;
        bank.synthesize(s, block, 0, 2);
        bank.synthesize(s + 32, block, 1, 2);
        benchmark::DoNotOptimize(block);
        slot = (slot + 1) % slotCount;
    }
    state.counters["values"] = benchmark::Counter(double(state.iterations()) * 64, benchmark::Counter::kIsRate);
}

void polyphaseSynthesis(benchmark::State& state) { runBank<qw::PolyphaseSynthesis, double>(state); }
void fastSynthesis(benchmark::State& state) { runBank<qw::FastSynthesis, float>(state); }
BENCHMARK(polyphaseSynthesis);
BENCHMARK(fastSynthesis);

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
