// Requantization: each line's magnitude raised to the power 4/3, scaled by
// the global gain, the scale factor of its band (with pre-emphasis) and, for
// short blocks, the gain of its window.  All factors come from tables.
#include "layer3/Requantizer.h"

#include <algorithm>
#include <cmath>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"

namespace qw {

namespace {

// The exact product a * b as p + e (Dekker's splitting; no fused multiply-add).
void twoProduct(double a, double b, double& p, double& e) {
    const double split = 134217729.0;  // 2^27 + 1
    double t = split * a;
    const double ah = t - (t - a), al = a - ah;
    t = split * b;
    const double bh = t - (t - b), bl = b - bh;
    p = a * b;
    e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// n^(4/3), correctly rounded, from basic arithmetic alone.  The power
// functions of the C libraries this module is built with differ in the last
// bit for a few entries, and the table must hold the same bits on every
// platform: a Newton cube root from above, then one correction carried in
// double-double.
double power43(uint32_t n) {
    if (n < 2) return double(n);
    const double x = double(n);
    double y = x < 8 ? 2.0 : x < 1000 ? 10.0 : 32.0;
    while (y * y * y < x) y *= 2;
    for (int i = 0; i < 100; ++i) {
        const double next = (2 * y + x / (y * y)) / 3;
        if (next >= y) break;
        y = next;
    }
    // cbrt(x) is about y + (x - y^3) / (3 y^2); x^(4/3) = x cbrt(x).
    double y2, y2e, y3, y3e;
    twoProduct(y, y, y2, y2e);
    twoProduct(y2, y, y3, y3e);
    const double r = ((x - y3) - y3e) - y2e * y;
    const double dy = r / (3 * y * y);
    double p, pe;
    twoProduct(x, y, p, pe);
    return p + (pe + x * dy);
}

}  // namespace

template <class Policy>
RequantizeTables<Policy>::RequantizeTables() {
    // Every entry is computed in double and stored in the policy's precision.
    for (uint32_t g = 0; g < 256; ++g) globalGain[g] = Sample(std::pow(2.0, (double(g) - 210.0) / 4.0));
    for (uint32_t k = 0; k < 64; ++k) {
        subblockGain[k] = Sample(std::pow(2.0, -2.0 * double(k)));
        scaleFactorGain[k] = Sample(std::pow(2.0, -double(k) / 2.0));
    }
    for (uint32_t n = 0; n < Policy::pow43Size; ++n) pow43[n] = Sample(power43(n));
}

template <class Policy>
void requantize(const RequantizeTables<Policy>& tables, const GranuleInfo& info, const uint16_t* bandEdgeRow,
                const uint16_t* magnitudes, const typename Policy::Sample* signs, uint32_t lineCount,
                typename Policy::Sample* spectrum) {
    using Sample = typename Policy::Sample;
    // Products are formed in double from the stored operands and rounded once
    // to the policy's precision when stored; in order: gain, scale factor,
    // magnitude, sign.
    const double gain = double(tables.globalGain[info.global_gain]);
    const uint32_t shift = info.scalefac_scale + 1;
    lineCount = std::min<uint32_t>(lineCount, 576);
    uint32_t i = 0;

    if (!info.isShortBlock()) {
        // Band by band: the gain and scale-factor product is the same for all
        // lines of a band, and forming it once gives the same value.
        for (uint32_t band = 0; band < 22 && i < lineCount; ++band) {
            const uint32_t scale = (info.scalefac_l[band] + pretab[band] * info.preflag) * shift;
            const double factor = gain * double(tables.scaleFactorGain[scale]);
            const uint32_t stop = std::min<uint32_t>(bandEdgeRow[band + 1], lineCount);
            for (; i < stop; ++i) spectrum[i] = Sample(factor * double(tables.pow43[magnitudes[i]]) * double(signs[i]));
        }
    } else if (!info.mixed_block_flag) {
        // Short blocks as coded: band by band, within a band window by window.
        const uint16_t* edges = bandEdgeRow + longEdgeCount;
        for (uint32_t band = 0; band < 13 && i < lineCount; ++band) {
            const uint32_t width = uint32_t(edges[band + 1] - edges[band]);
            for (uint32_t w = 0; w < 3 && i < lineCount; ++w) {
                const double factor = gain * double(tables.subblockGain[info.subblock_gain[w]]) *
                                      double(tables.scaleFactorGain[shift * info.scalefac_s[band][w]]);
                const uint32_t stop = std::min(i + width, lineCount);
                for (; i < stop; ++i) {
                    spectrum[i] = Sample(factor * double(tables.pow43[magnitudes[i]]) * double(signs[i]));
                }
            }
        }
    } else {
        // Mixed blocks are left as they are; the reorder stage silences them.
        return;
    }
    std::fill(spectrum + i, spectrum + 576, Sample(0));
}

template struct RequantizeTables<QualityPolicy>;
template struct RequantizeTables<PerformancePolicy>;
template void requantize<QualityPolicy>(const RequantizeTables<QualityPolicy>&, const GranuleInfo&, const uint16_t*,
                                        const uint16_t*, const double*, uint32_t, double*);
template void requantize<PerformancePolicy>(const RequantizeTables<PerformancePolicy>&, const GranuleInfo&,
                                            const uint16_t*, const uint16_t*, const float*, uint32_t, float*);

}  // namespace qw
