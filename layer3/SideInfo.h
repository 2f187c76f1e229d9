// Layer III side information: the per-frame and per-granule-channel fields
// that precede the main data.  Field names follow the bitstream syntax.
#pragma once

#include <cstdint>

namespace qw {

class FrameHeader;

struct GranuleInfo {
    uint32_t part2_3_length;
    uint32_t big_values;
    uint32_t global_gain;
    uint32_t scalefac_compress;
    uint32_t window_switching_flag;
    uint32_t block_type;
    uint32_t mixed_block_flag;
    uint32_t table_select[3];
    uint32_t subblock_gain[3];
    uint32_t region0_count;
    uint32_t region1_count;
    uint32_t preflag;
    uint32_t scalefac_scale;
    uint32_t count1table_select;
    uint32_t scalefac_l[23];      // long bands 0..22
    uint32_t scalefac_s[13][3];   // short bands 0..12, windows 0..2
    uint32_t intensityLimit[21];  // illegal intensity position per band (MPEG-2/2.5)

    bool isShortBlock() const { return window_switching_flag && block_type == 2; }
    bool isMixedBlock() const { return isShortBlock() && mixed_block_flag; }
};

struct SideInfo {
    uint32_t main_data_begin;
    uint32_t private_bits;
    uint32_t scfsi[2][4];
    GranuleInfo granule[2][2];  // [granule][channel]
};

// Reads the side information of the frame the header just took, through the
// header's stream (one fill of sideInfoSize bytes).  Always true.
bool readSideInfo(FrameHeader& header, SideInfo& sideInfo);

// True when the side information may be decoded.  equalJointStereoBlockTypes
// adds the rule that both channels of a joint-stereo granule share a block type.
bool checkSideInfo(const SideInfo& sideInfo, const FrameHeader& header, bool equalJointStereoBlockTypes);

}  // namespace qw
