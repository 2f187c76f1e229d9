// The scale factors at the start of each granule-channel's main data, read from the
// reservoir's current bit position into the granule-channel's GranuleInfo.
#include "layer3/ScaleFactors.h"

#include "layer3/BandTables.h"
#include "mpeg/FrameHeader.h"

namespace qw {

namespace {

// MPEG-1: two widths, slen1 for the lower bands and slen2 for the upper ones;
// scfsi lets granule 1 reuse granule 0's long scale factors group by group.
void readMpeg1(MainDataBuffer& mainData, SideInfo& sideInfo, uint32_t channel, uint32_t granule) {
    GranuleInfo& gi = sideInfo.granule[granule][channel];
    const uint32_t slen1 = slenTable[0][gi.scalefac_compress & 15];
    const uint32_t slen2 = slenTable[1][gi.scalefac_compress & 15];

    if (gi.isShortBlock()) {
        uint32_t firstShortBand = 0;
        if (gi.mixed_block_flag) {
            for (uint32_t b = 0; b < 8; ++b) gi.scalefac_l[b] = mainData.readBits(slen1);
            firstShortBand = 3;
        }
        for (uint32_t b = firstShortBand; b < 12; ++b) {
            const uint32_t slen = b < 6 ? slen1 : slen2;
            for (uint32_t w = 0; w < 3; ++w) gi.scalefac_s[b][w] = mainData.readBits(slen);
        }
        for (uint32_t w = 0; w < 3; ++w) gi.scalefac_s[12][w] = 0;
        return;
    }

    static const uint32_t groupStart[5] = {0, 6, 11, 16, 21};
    const uint32_t* granule0 = sideInfo.granule[0][channel].scalefac_l;
    for (uint32_t g = 0; g < 4; ++g) {
        const bool shared = granule == 1 && sideInfo.scfsi[channel][g];
        const uint32_t slen = g < 2 ? slen1 : slen2;
        for (uint32_t b = groupStart[g]; b < groupStart[g + 1]; ++b) {
            gi.scalefac_l[b] = shared ? granule0[b] : mainData.readBits(slen);
        }
    }
    gi.scalefac_l[21] = 0;
}

// The lower sampling frequencies: scalefac_compress selects up to four widths
// and a row of partition sizes.  The right channel of an intensity-stereo
// frame has its own rows and records, per band, the largest value a width can
// hold: that value marks an intensity position the stereo stage must skip.
void readLowerRates(MainDataBuffer& mainData, GranuleInfo& gi, const FrameHeader& header, uint32_t channel) {
    const bool intensity = header.modeExtension() == 1 || header.modeExtension() == 3;
    uint32_t slen[4] = {0, 0, 0, 0};
    uint32_t row;
    gi.preflag = 0;
    if (intensity && channel == 1) {
        const uint32_t c = gi.scalefac_compress / 2;
        if (c < 180) {
            slen[0] = c / 36, slen[1] = (c % 36) / 6, slen[2] = c % 6;
            row = 3;
        } else if (c < 244) {
            const uint32_t t = c - 180;
            slen[0] = t / 16, slen[1] = (t % 16) / 4, slen[2] = t % 4;
            row = 4;
        } else {
            const uint32_t t = c - 244;
            slen[0] = t / 3, slen[1] = t % 3;
            row = 5;
        }
    } else {
        const uint32_t c = gi.scalefac_compress;
        if (c < 400) {
            slen[0] = c / 80, slen[1] = (c / 16) % 5, slen[2] = (c / 4) % 4, slen[3] = c % 4;
            row = 0;
        } else if (c < 500) {
            const uint32_t t = c - 400;
            slen[0] = t / 20, slen[1] = (t / 4) % 5, slen[2] = t % 4;
            row = 1;
        } else {
            const uint32_t t = c - 500;
            slen[0] = t / 3, slen[1] = t % 3;
            row = 2;
            gi.preflag = 1;
        }
    }

    if (gi.isMixedBlock()) return;  // mixed blocks carry no scale factors here

    if (!gi.isShortBlock()) {
        uint32_t band = 0;
        for (uint32_t k = 0; k < 4; ++k) {
            for (uint32_t i = 0; i < partitionTable[row][0][k]; ++i, ++band) {
                gi.scalefac_l[band] = mainData.readBits(slen[k]);
                if (intensity) gi.intensityLimit[band] = (1u << slen[k]) - 1;
            }
        }
        gi.scalefac_l[21] = 0;
        gi.scalefac_l[22] = 0;
        return;
    }

    uint32_t index = 0;  // band * 3 + window
    for (uint32_t k = 0; k < 4; ++k) {
        for (uint32_t i = 0; i < partitionTable[row][1][k]; ++i, ++index) {
            const uint32_t band = index / 3;
            const uint32_t window = index % 3;
            gi.scalefac_s[band][window] = mainData.readBits(slen[k]);
            if (intensity && window == 2) gi.intensityLimit[band] = (1u << slen[k]) - 1;
        }
    }
    for (uint32_t w = 0; w < 3; ++w) gi.scalefac_s[12][w] = 0;
}

}  // namespace

int32_t readScaleFactors(MainDataBuffer& mainData, SideInfo& sideInfo, const FrameHeader& header, uint32_t channel,
                         uint32_t granule) {
    if (header.versionIndex() == 0) {
        readMpeg1(mainData, sideInfo, channel, granule);
    } else {
        readLowerRates(mainData, sideInfo.granule[granule][channel], header, channel);
    }
    return 0;
}

}  // namespace qw
