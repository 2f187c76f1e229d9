// Scale-factor band boundaries, scale-factor bit widths, partition sizes and
// pre-emphasis for Layer III, plus the per-line band look-ups derived from
// the boundaries.
#include "layer3/BandTables.h"

namespace qw {

const uint16_t bandEdges[9][longEdgeCount + shortEdgeCount] = {
    // MPEG-1, 44100 Hz
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62,  74,  90, 110, 134, 162, 196, 238, 288, 342, 418, 576,  //
     0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192},
    // MPEG-1, 48000 Hz
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60,  72,  88, 106, 128, 156, 190, 230, 276, 330, 384, 576,  //
     0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192},
    // MPEG-1, 32000 Hz
    {0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54,  66,  82,  102, 126, 156, 194, 240, 296, 364, 448, 550, 576,  //
     0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192},
    // MPEG-2, 22050 Hz
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80,  96,  116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,  //
     0, 4, 8,  12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192},
    // MPEG-2, 24000 Hz
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80,  96,  114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576,  //
     0, 4, 8,  12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192},
    // MPEG-2, 16000 Hz
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80,  96,  116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,  //
     0, 4, 8,  12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    // MPEG-2.5, 11025 Hz: as 16000 Hz
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80,  96,  116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,  //
     0, 4, 8,  12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    // MPEG-2.5, 12000 Hz: as 16000 Hz
    {0, 6, 12, 18, 24, 30, 36, 44, 54, 66, 80,  96,  116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576,  //
     0, 4, 8,  12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192},
    // MPEG-2.5, 8000 Hz
    {0, 12, 24, 36, 48, 60, 72, 88, 108, 132, 160, 192, 232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576,  //
     0, 8,  16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192},
};

const uint8_t slenTable[2][16] = {
    {0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
    {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3},
};

// Rows 0..2 serve an ordinary channel, rows 3..5 the intensity-coded right
// channel; within a row: long, short.  Short sizes count single scale factors
// (three per short band).  Mixed blocks read no scale factors at these rates.
const uint8_t partitionTable[6][2][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}},    {{6, 5, 7, 3}, {9, 9, 12, 6}}, {{11, 10, 0, 0}, {18, 18, 0, 0}},
    {{7, 7, 7, 0}, {12, 12, 12, 0}}, {{6, 6, 6, 3}, {12, 9, 9, 6}}, {{8, 8, 5, 0}, {15, 12, 9, 0}},
};

const uint32_t pretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

BandIndex::BandIndex() {
    for (uint32_t row = 0; row < 9; ++row) {
        const uint16_t* edges = bandEdges[row];
        uint16_t band = 0;
        for (uint32_t line = 0; line < 576; ++line) {
            while (line >= edges[band + 1]) ++band;
            longBandOfLine[row][line] = band;
        }
        const uint16_t* shortEdges = edges + longEdgeCount;
        band = 0;
        for (uint32_t line = 0; line < 192; ++line) {
            while (line >= shortEdges[band + 1]) ++band;
            shortBandOfLine[row][line] = band;
        }
    }
}

}  // namespace qw
