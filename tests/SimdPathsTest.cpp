// Every instruction-set path of the hot kernels gives the same bytes, and those the decoders gave when they were
// recorded: the conformance streams decoded at each level the processor supports, capped from the widest down to the
// SSE2 baseline, with both Layer III decoders.
#include "synthesis/SimdLevel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "layer3/BandTables.h"
#include "support/DecodeLoop.h"
#include "support/MemoryStream.h"
#include "support/Vectors.h"
#include "synthesis/AliasReduction.h"
#include "synthesis/FastSynthesis.h"
#include "synthesis/Imdct.h"
#include "synthesis/PolyphaseSynthesis.h"
#include "synthesis/StereoProcessor.h"

namespace qw::test {
namespace {

const char* const levelNames[] = {"sse2", "avx", "avx2", "avx512"};

// FNV-1a, 64 bits, over the PCM's bytes: a fingerprint of every bit.
uint64_t fingerprint(const std::vector<int16_t>& pcm) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (const int16_t value : pcm)
        for (int byte = 0; byte < 2; ++byte) hash = (hash ^ (uint16_t(value) >> (8 * byte) & 0xFF)) * 0x100000001b3u;
    return hash;
}

// What each stream decodes to, as recorded in the vectors' folder: "NAME DECODER FINGERPRINT" lines.  The
// bits are the design's: a change to any decoded value is a change of the decoder's behaviour.
std::map<std::string, uint64_t> recordedFingerprints() {
    std::map<std::string, uint64_t> recorded;
    std::ifstream in(vectorsDir() + "/decoded-fingerprints.txt");
    std::string name, variant;
    for (uint64_t value = 0; in >> name >> variant >> std::hex >> value;) recorded[name + " " + variant] = value;
    return recorded;
}

// Lifts any cap when the test ends, however it ends.
struct CapGuard {
    ~CapGuard() { simd::cap(simd::supported()); }
};

// The kernels use the widest level the processor has.  A run under an emulated processor names the level it must find
// there (QW_EXPECT_SIMD=sse2 under a processor model without AVX).
TEST(SimdPaths, UsesTheWidestLevelDetected) {
    EXPECT_EQ(simd::active(), simd::supported());
    if (const char* expected = std::getenv("QW_EXPECT_SIMD")) {
        EXPECT_EQ(std::string(levelNames[int(simd::supported())]), expected);
    }
}

TEST(SimdPaths, EveryLevelDecodesTheConformanceStreamsToTheSameBytes) {
    const CapGuard guard;
    const std::vector<std::string> names = {
        "l1-fl1",      "l1-fl2", "l1-fl3",      "l1-fl4",     "l3-compl",    "l3-he_32khz",  "l3-he_48khz",
        "l3-hecommon", "l3-si",  "l3-si_block", "l3-si_huff", "l3-sin1k0db", "M2L3_compl24", "M2L3_bitrate_16_all"};
    const std::map<std::string, uint64_t> recorded = recordedFingerprints();
    size_t compared = 0;
    for (const std::string& name : names) {
        QW_REQUIRE_VECTOR(path, name + ".bit");
        const std::vector<uint8_t> bytes = readBytes(path);
        for (Layer3Variant variant : {Layer3Variant::performance, Layer3Variant::quality}) {
            std::vector<int16_t> baseline;
            for (int level = 0; level <= int(simd::supported()); ++level) {
                simd::cap(simd::Level(level));
                ASSERT_EQ(simd::active(), simd::Level(level));
                MemoryStream stream(bytes);
                const std::vector<int16_t> pcm = decodeStream(&stream, variant).pcm;
                if (level == 0) {
                    baseline = pcm;
                    const std::string key = name + " " + variantName(variant);
                    char line[64];
                    std::snprintf(line, sizeof line, "%s %016llx", key.c_str(), (unsigned long long)fingerprint(pcm));
                    EXPECT_EQ(recorded.count(key) ? recorded.at(key) : 0, fingerprint(pcm))
                        << "decoded bits changed; recorded line for the new ones: " << line;
                    continue;
                }
                ASSERT_EQ(pcm.size(), baseline.size()) << name << " " << variantName(variant);
                size_t first = 0;
                while (first < pcm.size() && pcm[first] == baseline[first]) ++first;
                EXPECT_EQ(first, pcm.size()) << name << " " << variantName(variant) << ": " << levelNames[level]
                                             << " differs from sse2 first at value " << first;
                compared += pcm.size();
            }
        }
    }
    // A processor with SSE2 alone has one path and nothing to compare it with.
    if (simd::supported() != simd::Level::sse2) {
        EXPECT_GT(compared, 0u);
    }
}

// One loud stereo pair of granules through the spectral stages and the synthesis bank at every level, in the
// decoder's precision: mid/side lines up to line 342, a band edge that ends no vector of four or eight lines, and
// intensity lines from there on, whose left channel leaves the upper subbands empty; alias reduction; the long and
// the stop-window IMDCT; synthesis sums far beyond 2^31.  Each mid/side line is its quotient (M +- S) / sqrt2, also
// where that falls exactly halfway between two floats: there the lanes' shortcut through the reciprocal must give
// way to the division.  Every level gives the baseline's subband samples (zeros of either sign are alike: empty
// subbands may be transformed or copied) and PCM.
template <class Sample, class Bank>
void decodeLoudGranulesAtEveryLevel() {
    const CapGuard guard;
    const double divisor = Sample(1.4142135623730951), floatDivisor = 1.4142135623730951f;
    std::mt19937 rng(7);
    std::vector<float> mid(576), side(576);
    for (size_t i = 0; i < 576; ++i) {
        const float f = std::ldexp(std::uniform_real_distribution<float>(1, 2)(rng), int(rng() % 40) - 20);
        // Halfway above f times the divisor needs 49 bits: a float and the float of what is left, if that fits.
        const double product = (f + (double(std::nextafter(f, 2 * f)) - f) / 2) * floatDivisor;
        mid[i] = float(product);
        side[i] = float(product - mid[i]);
        if (side[i] != product - mid[i] || i % 7 == 0) side[i] = std::uniform_real_distribution<float>(-f, f)(rng);
        if (i % 2) side[i] = -side[i];  // the halfway point in the right channel's quotient
        if (i % 13 == 0) mid[i] = side[i] = i % 26 ? 0.0f : 1e-40f;
        if (i >= 342) side[i] = 0;  // intensity position 0: all on the right
    }
    static const BandIndex bands;
    const StereoTables<Sample> stereo;
    const ImdctTables<Sample> imdct;
    GranuleInfo granules[2] = {};
    granules[1].window_switching_flag = 1, granules[1].block_type = 3;
    std::vector<Sample> baseline;
    std::vector<int16_t> baselinePcm;
    for (int level = 0; level <= int(simd::supported()); ++level) {
        simd::cap(simd::Level(level));
        std::vector<Sample> overlap(2 * 576), samples(2 * 2 * 576);  // by channel, then granule
        for (int g = 0; g < 2; ++g) {
            std::vector<Sample> left(mid.begin(), mid.end()), right(side.begin(), side.end());
            processStereo<Sample>(stereo, bands, 0, {0, 2, 1, 3}, granules[g], granules[g], left.data(), right.data());
            for (size_t i = 0; i < 342; ++i) {
                ASSERT_EQ(left[i], Sample((double(mid[i]) + side[i]) / divisor)) << levelNames[level] << ", line " << i;
                ASSERT_EQ(right[i], Sample((double(mid[i]) - side[i]) / divisor))
                    << levelNames[level] << ", line " << i;
            }
            for (int ch = 0; ch < 2; ++ch) {
                Sample* spectrum = ch ? right.data() : left.data();
                reduceAliasing(granules[g], 0, spectrum);
                inverseMdct(imdct, granules[g], spectrum, &overlap[576 * ch], &samples[1152 * ch + 576 * g]);
            }
        }
        std::vector<int16_t> pcm(2 * 1152);
        const Sample* channels[] = {&samples[0], &samples[1152]};
        Bank().synthesizeSlots(channels, 2, 36, pcm.data());
        if (level == 0) baseline = samples, baselinePcm = pcm;
        EXPECT_TRUE(samples == baseline) << levelNames[level] << ": subband samples differ from sse2";
        EXPECT_TRUE(pcm == baselinePcm) << levelNames[level] << ": PCM differs from sse2";
    }
}

TEST(SimdPaths, EveryLevelDecodesLoudGranulesAlike) {
    decodeLoudGranulesAtEveryLevel<float, FastSynthesis>();
    decodeLoudGranulesAtEveryLevel<double, PolyphaseSynthesis>();
}

}  // namespace
}  // namespace qw::test
