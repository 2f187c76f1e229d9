// Reading and checking the Layer III side information.
#include "layer3/SideInfo.h"

#include "mpeg/FrameHeader.h"

namespace qw {

namespace {

// The fields of one granule-channel.  MPEG-1 has 4-bit scalefac_compress and
// a preflag bit; the lower sampling frequencies have 9 bits and no preflag.
void readGranule(InputStream& stream, GranuleInfo& gi, bool mpeg1) {
    gi.part2_3_length = stream.getBits(12);
    gi.big_values = stream.getBits(9);
    gi.global_gain = stream.getBits(8);
    gi.scalefac_compress = stream.getBits(mpeg1 ? 4 : 9);
    gi.window_switching_flag = stream.getBits(1);
    if (gi.window_switching_flag) {
        gi.block_type = stream.getBits(2);
        gi.mixed_block_flag = stream.getBits(1);
        gi.table_select[0] = stream.getBits(5);
        gi.table_select[1] = stream.getBits(5);
        gi.table_select[2] = 0;
        for (uint32_t w = 0; w < 3; ++w) gi.subblock_gain[w] = stream.getBits(3);
        // Region 0 ends at long band 8 (pure short) or 7, region 1 at band 22,
        // the end of the spectrum.
        gi.region0_count = (gi.block_type == 2 && !gi.mixed_block_flag) ? 8 : 7;
        gi.region1_count = 20 - gi.region0_count;
    } else {
        gi.block_type = 0;
        if (mpeg1) {
            gi.mixed_block_flag = 0;
            for (uint32_t w = 0; w < 3; ++w) gi.subblock_gain[w] = 0;
        }
        for (uint32_t r = 0; r < 3; ++r) gi.table_select[r] = stream.getBits(5);
        gi.region0_count = stream.getBits(4);
        gi.region1_count = stream.getBits(3);
    }
    if (mpeg1) gi.preflag = stream.getBits(1);
    gi.scalefac_scale = stream.getBits(1);
    gi.count1table_select = stream.getBits(1);
}

}  // namespace

bool readSideInfo(FrameHeader& header, SideInfo& sideInfo) {
    InputStream& stream = *header.stream();
    stream.fill(header.sideInfoSize());
    const bool mpeg1 = header.versionIndex() == 0;
    const bool mono = header.mode() == 3;
    const uint32_t channels = header.channelCount();

    if (mpeg1) {
        sideInfo.main_data_begin = stream.getBits(9);
        sideInfo.private_bits = stream.getBits(mono ? 5 : 3);
        for (uint32_t ch = 0; ch < channels; ++ch) {
            for (uint32_t g = 0; g < 4; ++g) sideInfo.scfsi[ch][g] = stream.getBits(1);
        }
    } else {
        sideInfo.main_data_begin = stream.getBits(8);
        sideInfo.private_bits = stream.getBits(mono ? 1 : 2);
    }
    const uint32_t granules = mpeg1 ? 2 : 1;
    for (uint32_t gr = 0; gr < granules; ++gr) {
        for (uint32_t ch = 0; ch < channels; ++ch) readGranule(stream, sideInfo.granule[gr][ch], mpeg1);
    }
    return true;
}

bool checkSideInfo(const SideInfo& sideInfo, const FrameHeader& header, bool equalJointStereoBlockTypes) {
    if (sideInfo.main_data_begin > 511) return false;
    const uint32_t granules = header.versionIndex() == 0 ? 2 : 1;
    const uint32_t channels = header.channelCount();
    for (uint32_t gr = 0; gr < granules; ++gr) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const GranuleInfo& gi = sideInfo.granule[gr][ch];
            if (gi.big_values > 288) return false;
            if (gi.window_switching_flag && gi.block_type == 0) return false;
        }
        if (equalJointStereoBlockTypes && channels == 2 && header.mode() == 1 &&
            sideInfo.granule[gr][0].block_type != sideInfo.granule[gr][1].block_type) {
            return false;
        }
    }
    return true;
}

}  // namespace qw
