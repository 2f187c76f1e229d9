// Access to the conformance bitstreams and the PSNR figure of merit.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qw::test {

inline std::string vectorsDir() {
    const char* override = std::getenv("QW_VECTORS_DIR");
    return override ? override : QW_VECTORS_DIR;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

// The path of a vector, or "" (after a GTEST_SKIP in the caller) when absent.
#define QW_REQUIRE_VECTOR(var, name)                                 \
    const std::string var = ::qw::test::vectorsDir() + "/" + (name); \
    if (!::qw::test::fileExists(var))                                \
    GTEST_SKIP() << "conformance vector " << (name) << " not found in " << ::qw::test::vectorsDir()

inline std::vector<int16_t> toSamples(const std::vector<uint8_t>& bytes) {
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return s;
}

struct Comparison {
    double psnr = 0;        // dB; infinity when identical
    int maxDifference = 0;  // LSB
    size_t compared = 0;    // values
};

// PSNR = 10 log10(32767^2 / MSE) over the common length.
inline Comparison compare(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    Comparison c;
    c.compared = std::min(a.size(), b.size());
    double sum = 0;
    for (size_t i = 0; i < c.compared; ++i) {
        int d = int(a[i]) - int(b[i]);
        sum += double(d) * d;
        c.maxDifference = std::max(c.maxDifference, std::abs(d));
    }
    double mse = c.compared ? sum / double(c.compared) : 0;
    c.psnr = mse == 0 ? INFINITY : 10 * std::log10(32767.0 * 32767.0 / mse);
    return c;
}

}  // namespace qw::test
