// Requantization: each line's magnitude raised to the power 4/3, scaled by
// the global gain, the scale factor of its band (with pre-emphasis) and, for
// short blocks, the gain of its window.  All factors come from tables.
#include "layer3/Requantizer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer3/BandTables.h"
#include "layer3/Layer3Policy.h"
#include "synthesis/SimdLevel.h"

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

namespace {

// A run of lines that share one factor: the global gain times the scale
// factor of their band and, for short blocks, the gain of their window,
// formed in double from the stored operands in that order.
struct Run {
    uint32_t end;
    double factor;
};

// Every line is (factor * n^(4/3)) * sign, formed in double and rounded once
// to the sample's precision.  The kernels below work on N lines side by
// side, each lane doing one line's operations in that order, so every width
// gives the same bits.
template <class Sample, int N>
struct Lanes {
    typedef double Doubles __attribute__((vector_size(8 * N), aligned(8)));
    typedef Sample Samples __attribute__((vector_size(sizeof(Sample) * N), aligned(sizeof(Sample))));

    // Lines from i on, N at a time while lines before end are left and the N
    // lines end by limit; returns the line after the last written.
    __attribute__((always_inline)) static uint32_t powered(const Sample* pow43, double factor,
                                                           const uint16_t* magnitudes, const Sample* signs, Sample* out,
                                                           uint32_t i, uint32_t end, uint32_t limit) {
        for (; i < end && i + N <= limit; i += N) {
            Samples powers;
            for (int k = 0; k < N; ++k) powers[k] = pow43[magnitudes[i + k]];
            Samples sign;
            std::memcpy(&sign, signs + i, sizeof sign);
            const Samples value = __builtin_convertvector(
                factor * __builtin_convertvector(powers, Doubles) * __builtin_convertvector(sign, Doubles), Samples);
            std::memcpy(out + i, &value, sizeof value);
        }
        return i;
    }

    // The same for lines of magnitude 0 or 1, whose power is the magnitude
    // itself: factor * 1 is the factor, and a line of magnitude 0 has sign 0,
    // so the value is factor * sign and needs no power.
    __attribute__((always_inline)) static uint32_t unit(double factor, const Sample* signs, Sample* out, uint32_t i,
                                                        uint32_t end, uint32_t limit) {
        for (; i < end && i + N <= limit; i += N) {
            Samples sign;
            std::memcpy(&sign, signs + i, sizeof sign);
            const Samples value = __builtin_convertvector(factor * __builtin_convertvector(sign, Doubles), Samples);
            std::memcpy(out + i, &value, sizeof value);
        }
        return i;
    }
};

// Lines [0, lineCount) run by run; the lines from unitStart on have
// magnitude 0 or 1.  N lines at a time from the start of a run, the last N
// reaching past its end into lines that the next run writes again (or that
// are cleared after lineCount), so that a run takes no narrower steps; only
// near line 576 do pairs and single lines finish a run.
template <class Sample, int N>
__attribute__((always_inline)) inline void scaleRuns(const Sample* pow43, const Run* runs, uint32_t unitStart,
                                                     uint32_t lineCount, const uint16_t* magnitudes,
                                                     const Sample* signs, Sample* out) {
    uint32_t start = 0;
    for (const Run* run = runs; start < lineCount; ++run) {
        const uint32_t end = std::min(run->end, lineCount);
        const uint32_t poweredEnd = std::max(start, std::min(end, unitStart));
        uint32_t i = Lanes<Sample, N>::powered(pow43, run->factor, magnitudes, signs, out, start, poweredEnd, 576);
        i = Lanes<Sample, 2>::powered(pow43, run->factor, magnitudes, signs, out, i, poweredEnd, poweredEnd);
        for (; i < poweredEnd; ++i) out[i] = Sample(run->factor * double(pow43[magnitudes[i]]) * double(signs[i]));
        i = Lanes<Sample, N>::unit(run->factor, signs, out, i, end, 576);
        i = Lanes<Sample, 2>::unit(run->factor, signs, out, i, end, end);
        for (; i < end; ++i) out[i] = Sample(run->factor * double(signs[i]));
        start = end;
    }
}

template <class Sample>
void scaleRunsBaseline(const Sample* pow43, const Run* runs, uint32_t unitStart, uint32_t lineCount,
                       const uint16_t* magnitudes, const Sample* signs, Sample* out) {
    scaleRuns<Sample, 4>(pow43, runs, unitStart, lineCount, magnitudes, signs, out);
}

template <class Sample>
__attribute__((target("avx"))) void scaleRunsAvx(const Sample* pow43, const Run* runs, uint32_t unitStart,
                                                 uint32_t lineCount, const uint16_t* magnitudes, const Sample* signs,
                                                 Sample* out) {
    scaleRuns<Sample, 8>(pow43, runs, unitStart, lineCount, magnitudes, signs, out);
}

}  // namespace

template <class Policy>
void requantize(const RequantizeTables<Policy>& tables, const GranuleInfo& info, const uint16_t* bandEdgeRow,
                const uint16_t* magnitudes, const typename Policy::Sample* signs, uint32_t lineCount,
                typename Policy::Sample* spectrum) {
    using Sample = typename Policy::Sample;
    // Mixed blocks are left as they are; the reorder stage silences them.
    if (info.isMixedBlock()) return;

    // The runs: long blocks band by band; short blocks as coded, band by
    // band and within a band window by window.  They end at line 576.
    Run runs[13 * 3];
    const double gain = double(tables.globalGain[info.global_gain]);
    const uint32_t shift = info.scalefac_scale + 1;
    if (!info.isShortBlock()) {
        for (uint32_t band = 0; band < 22; ++band) {
            const uint32_t scale = (info.scalefac_l[band] + pretab[band] * info.preflag) * shift;
            runs[band] = {bandEdgeRow[band + 1], gain * double(tables.scaleFactorGain[scale])};
        }
    } else {
        const uint16_t* edges = bandEdgeRow + longEdgeCount;
        for (uint32_t band = 0; band < 13; ++band) {
            for (uint32_t w = 0; w < 3; ++w) {
                const double factor = gain * double(tables.subblockGain[info.subblock_gain[w]]) *
                                      double(tables.scaleFactorGain[shift * info.scalefac_s[band][w]]);
                runs[band * 3 + w] = {3 * edges[band] + (w + 1) * (edges[band + 1] - edges[band]), factor};
            }
        }
    }

    // Past the big values the lines are quadruples, of magnitude 0 or 1.
    lineCount = std::min<uint32_t>(lineCount, 576);
    const uint32_t unitStart = 2 * std::min<uint32_t>(info.big_values, 288);
    if (simd::active() >= simd::Level::avx) {
        scaleRunsAvx<Sample>(tables.pow43, runs, unitStart, lineCount, magnitudes, signs, spectrum);
    } else {
        scaleRunsBaseline<Sample>(tables.pow43, runs, unitStart, lineCount, magnitudes, signs, spectrum);
    }
    std::fill(spectrum + lineCount, spectrum + 576, Sample(0));
}

template struct RequantizeTables<QualityPolicy>;
template struct RequantizeTables<PerformancePolicy>;
template void requantize<QualityPolicy>(const RequantizeTables<QualityPolicy>&, const GranuleInfo&, const uint16_t*,
                                        const uint16_t*, const double*, uint32_t, double*);
template void requantize<PerformancePolicy>(const RequantizeTables<PerformancePolicy>&, const GranuleInfo&,
                                            const uint16_t*, const uint16_t*, const float*, uint32_t, float*);

}  // namespace qw
