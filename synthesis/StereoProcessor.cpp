// Mid/side and intensity stereo.
//
// Both decoders work in place: every output index i reads the mid (or
// intensity) value and the side value at i before it writes left and right at
// i, and no index reads another's values once the output loop has begun, so
// the results equal those of separate input and output arrays.
#include "synthesis/StereoProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "synthesis/Lanes.h"
#include "synthesis/SimdLevel.h"

namespace qw {

namespace {

// The divisor of mid/side decoding, rounded once to the variant's precision.
template <class Sample>
constexpr Sample midSideDivisor = 1.4142135623730951;

constexpr int16_t notIntensity = -1;

// What position[] holds for a line with position p: notIntensity when p is
// the band's illegal position (MPEG-1: 7; MPEG-2/2.5: the band's limit).
int16_t intensityPosition(bool mpeg1, uint32_t p, uint32_t limit) {
    if (mpeg1) return p == 7 ? notIntensity : int16_t(std::min<uint32_t>(p, 15));
    return p == limit ? notIntensity : int16_t(std::min<uint32_t>(p, StereoTables<double>::gainSize - 1));
}

// The first line after the band that holds `line` (lines count up to `end`).
uint32_t nextBandStart(const uint16_t* bandOfLine, uint32_t line, uint32_t end) {
    const uint16_t band = bandOfLine[line];
    uint32_t next = line + 1;
    while (next < end && bandOfLine[next] == band) ++next;
    return next;
}

// The intensity region of each channel starts in the band after the last
// non-zero value of channel 1; channel 1's scale factors there are positions.
template <class Sample>
void markIntensityRegion(const BandIndex& bands, uint32_t row, bool mpeg1, const GranuleInfo& channel0,
                         const GranuleInfo& channel1, const Sample* right, int16_t* position) {
    std::fill(position, position + 576, notIntensity);
    if (channel0.isMixedBlock()) return;

    if (channel0.isShortBlock()) {
        const uint16_t* bandOfLine = bands.shortBandOfLine[row];
        for (uint32_t w = 0; w < 3; ++w) {
            int32_t last = 191;
            while (last >= 0 && right[3 * last + w] == 0) --last;
            const uint32_t start = last < 0 ? 0 : nextBandStart(bandOfLine, uint32_t(last), 192);
            for (uint32_t f = start; f < 192; ++f) {
                const uint32_t band = bandOfLine[f];
                // Band 12 carries no scale factors of its own: the limit of
                // band 11, the last one that does, decides it.
                const uint32_t limit = channel1.intensityLimit[std::min<uint32_t>(band, 11)];
                position[3 * f + w] = intensityPosition(mpeg1, channel1.scalefac_s[band][w], limit);
            }
        }
        return;
    }

    const uint16_t* bandOfLine = bands.longBandOfLine[row];
    int32_t last = 575;
    while (last >= 0 && right[last] == 0) --last;
    const uint32_t start = last < 0 ? 0 : nextBandStart(bandOfLine, uint32_t(last), 576);
    for (uint32_t line = start; line < 576; ++line) {
        const uint32_t band = bandOfLine[line];
        // Band 21 carries no scale factors of its own: the limit of band 20,
        // the last one that does, decides it.
        const uint32_t limit = channel1.intensityLimit[std::min<uint32_t>(band, 20)];
        position[line] = intensityPosition(mpeg1, channel1.scalefac_l[band], limit);
    }
}

// Mid/side decoding of the first lines, N side by side: L = (M + S) / sqrt2,
// R = (M - S) / sqrt2 with the sums and quotients in double, each lane as a
// line alone.  Returns how many lines it did (a whole number of vectors).
//
// In single precision a quotient is stored as a float, and the product with
// the reciprocal, (M + S) * (1 / sqrt2), lies within 2^-51 of it (relative).
// So the quotient lies between that product scaled by 1 - 2^-50 and by
// 1 + 2^-50, and when both round to the same float, the quotient does as
// well, rounding being monotonic.  The products of a vector stand where
// every lane agrees so (all but one line in 10^7 or so); otherwise the
// vector is divided.
template <class Sample, int N>
__attribute__((always_inline)) inline uint32_t midSideLanes(Sample* left, Sample* right, uint32_t count) {
    using L = Lanes<Sample, N>;
    using D = typename L::Doubles;
    using S = typename L::Samples;
    constexpr double sqrt2 = midSideDivisor<Sample>;
    constexpr double reciprocal = 1.0 / sqrt2, below = 1 - 0x1p-50, above = 1 + 0x1p-50;
    uint32_t i = 0;
    for (; i + N <= count; i += N) {
        const D x = L::widen(L::load(left + i)), s = L::widen(L::load(right + i));
        const D sum = x + s, difference = x - s;
        if constexpr (std::is_same_v<Sample, float>) {
            const D l = sum * reciprocal, r = difference * reciprocal;
            const S lowLeft = L::stored(l * below), highLeft = L::stored(l * above);
            const S lowRight = L::stored(r * below), highRight = L::stored(r * above);
            // Each lane all ones where both agree: the vector stands when the
            // 64-bit words of the answer are all ones.
            const auto agree = (lowLeft == highLeft) & (lowRight == highRight);
            uint64_t words[sizeof agree / 8];
            std::memcpy(words, &agree, sizeof agree);
            uint64_t all = ~uint64_t(0);
            for (const uint64_t word : words) all &= word;
            if (all == ~uint64_t(0)) {
                L::store(left + i, lowLeft);
                L::store(right + i, lowRight);
                continue;
            }
        }
        L::store(left + i, L::stored(sum / sqrt2));
        L::store(right + i, L::stored(difference / sqrt2));
    }
    return i;
}

template <class Sample>
uint32_t midSideTwo(Sample* left, Sample* right, uint32_t count) {
    return midSideLanes<Sample, 2>(left, right, count);
}

#if defined(__x86_64__) || defined(__i386__)
template <class Sample>
QW_TARGET_AVX uint32_t midSideFour(Sample* left, Sample* right, uint32_t count) {
    return midSideLanes<Sample, 4>(left, right, count);
}

template <class Sample>
QW_TARGET_AVX512 uint32_t midSideEight(Sample* left, Sample* right, uint32_t count) {
    return midSideLanes<Sample, 8>(left, right, count);
}
#endif

template <class Sample>
uint32_t decodeMidSide(Sample* left, Sample* right, uint32_t count) {
#if defined(__x86_64__) || defined(__i386__)
    if (simd::active() >= simd::Level::avx512) return midSideEight(left, right, count);
    if (simd::active() >= simd::Level::avx) return midSideFour(left, right, count);
#endif
    return midSideTwo(left, right, count);
}

}  // namespace

template <class Sample>
StereoTables<Sample>::StereoTables() {
    const double step = 3.14159265358979323846 / 12;
    for (uint32_t p = 0; p < 16; ++p) intensityRatio[p] = Sample(std::tan(p * step));
    for (uint32_t p = 0; p < gainSize; ++p) {
        for (uint32_t scale = 0; scale < 2; ++scale) {
            const double divisor = scale ? 4.0 : 8.0;
            lsfIntensityGain[scale * 2 + 0][p] = Sample(std::pow(2.0, -double(p + 1) / divisor));
            lsfIntensityGain[scale * 2 + 1][p] = Sample(std::pow(2.0, -double(p) / divisor));
        }
    }
}

template <class Sample>
void processStereo(const StereoTables<Sample>& tables, const BandIndex& bands, uint32_t row, const StereoFrame& frame,
                   const GranuleInfo& channel0, const GranuleInfo& channel1, Sample* left, Sample* right) {
    if (frame.channelCount != 2) return;
    const bool midSide = frame.mode == 1 && (frame.modeExtension & 2) != 0;
    const bool intensity = frame.mode == 1 && (frame.modeExtension & 1) != 0;
    if (!midSide && !intensity) return;

    const bool mpeg1 = frame.versionIndex == 0;
    int16_t position[576];
    uint32_t first = 0;  // the lines before it are done
    if (intensity) {
        markIntensityRegion(bands, row, mpeg1, channel0, channel1, right, position);
        if (midSide) {
            while (first < 576 && position[first] == notIntensity) ++first;
            first = decodeMidSide(left, right, first);
        }
    } else {
        first = decodeMidSide(left, right, 576);
        std::fill(position + first, position + 576, notIntensity);
    }

    // Products and sums in double; the single-precision variant rounds once
    // when it stores.
    const double sqrt2 = midSideDivisor<Sample>;
    const uint32_t scale = channel1.scalefac_compress & 1;
    const Sample* oddGain = tables.lsfIntensityGain[scale * 2 + 0];
    const Sample* evenGain = tables.lsfIntensityGain[scale * 2 + 1];
    for (uint32_t i = first; i < 576; ++i) {
        const double x = left[i];
        const int16_t p = position[i];
        if (p != notIntensity) {
            if (mpeg1) {
                const double r = tables.intensityRatio[p];
                left[i] = Sample(x * r / (1.0 + r));
                right[i] = Sample(x * 1.0 / (1.0 + r));
            } else if (p == 0) {
                left[i] = Sample(x);
                right[i] = Sample(x);
            } else if (p & 1) {
                left[i] = Sample(x * double(oddGain[p]));
                right[i] = Sample(x);
            } else {
                left[i] = Sample(x);
                right[i] = Sample(x * double(evenGain[p]));
            }
        } else if (midSide) {
            const double s = right[i];
            left[i] = Sample((x + s) / sqrt2);
            right[i] = Sample((x - s) / sqrt2);
        }
    }
}

template struct StereoTables<double>;
template struct StereoTables<float>;
template void processStereo<double>(const StereoTables<double>&, const BandIndex&, uint32_t, const StereoFrame&,
                                    const GranuleInfo&, const GranuleInfo&, double*, double*);
template void processStereo<float>(const StereoTables<float>&, const BandIndex&, uint32_t, const StereoFrame&,
                                   const GranuleInfo&, const GranuleInfo&, float*, float*);

}  // namespace qw
