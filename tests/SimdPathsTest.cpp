// Every instruction-set path of the hot kernels gives the same bytes, and those
// the decoders gave when they were recorded: the conformance streams decoded
// at each level the processor supports, capped from the widest down to the
// SSE2 baseline, with both Layer III decoders.
#include "synthesis/SimdLevel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/DecodeLoop.h"
#include "support/MemoryStream.h"
#include "support/Vectors.h"

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

// The kernels use the widest level the processor has.  A run under an
// emulated processor names the level it must find there (QW_EXPECT_SIMD=sse2
// under a processor model without AVX).
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

}  // namespace
}  // namespace qw::test
