/*
 * Quillwave: where the frames of a stream begin.
 *
 * The module's frame search takes the first word that looks like a frame
 * header.  In bytes that are no audio (a stream captured from its middle, a
 * cut file, junk from a broken download) such words are common, and the frame
 * they start may name another sample rate than the audio that follows.  A
 * host therefore hands the module the stream from the first header that the
 * following frames confirm; the module's recorder, which opens files itself,
 * starts at the same place.
 */
#ifndef QUILLWAVE_FRAMES_H
#define QUILLWAVE_FRAMES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of a frame header. */
#define QW_FRAME_HEADER_BYTES 4u
/* Headers after the first that confirm it, each where the frame before puts it. */
#define QW_FRAMES_CONFIRMING 3u
/* The longest frame: Layer II of MPEG-2.5 at 8000 Hz and 160 kbit/s, padded. */
#define QW_FRAME_MAX_BYTES 2881u
/* The bytes a confirmation reads from the first header on. */
#define QW_AUDIO_START_LOOKAHEAD (QW_FRAMES_CONFIRMING * QW_FRAME_MAX_BYTES + QW_FRAME_HEADER_BYTES)

/* The four bytes at p as a big-endian header word. */
static inline uint32_t qwHeaderWord(const uint8_t* p) {
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

/*
 * The bytes of the frame that the header word starts (header, check word and
 * payload), or 0 when the word is no header the module's frame search takes:
 * eleven sync bits, a version, layer, bitrate and sample rate that exist,
 * emphasis other than 2, and not three 0xFF bytes.  Free format (bitrate
 * index 0) is 0 too: the module never synchronises to it.
 */
static inline uint32_t qwFrameBytes(uint32_t word) {
    static const uint16_t kbps[5][16] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}, /* MPEG-1 Layer I */
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},    /* MPEG-1 Layer II */
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},     /* MPEG-1 Layer III */
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},    /* MPEG-2 Layer I */
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}};        /* MPEG-2 Layers II, III */
    static const uint16_t rates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    const uint32_t versionBits = (word >> 19) & 3, layerBits = (word >> 17) & 3;
    const uint32_t bitrateIndex = (word >> 12) & 15, rateIndex = (word >> 10) & 3, padding = (word >> 9) & 1;
    if ((word & 0xFFE00000u) != 0xFFE00000u || versionBits == 1 || layerBits == 0 || bitrateIndex == 0 ||
        bitrateIndex == 15 || rateIndex == 3 || (word & 3) == 2 || (word & 0xFFFFFF00u) == 0xFFFFFF00u) {
        return 0;
    }
    const uint32_t version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2; /* MPEG-1, 2, 2.5 */
    const uint32_t layer = 4 - layerBits;                                     /* 1, 2, 3 */
    const uint32_t row = version == 0 ? layer - 1 : layer == 1 ? 3 : 4;
    const uint32_t bitrate = kbps[row][bitrateIndex] * 1000u, rate = rates[version][rateIndex];
    if (layer == 1) return (bitrate * 12 / rate + padding) * 4;
    if (layer == 3 && version != 0) return bitrate * 72 / rate + padding;
    return bitrate * 144 / rate + padding;
}

/* Whether two header words belong to one stream: the same version, layer and sample rate. */
static inline int qwSameStream(uint32_t a, uint32_t b) { return ((a ^ b) & 0xFFFE0C00u) == 0; }

/* What qwFindAudioStart found. */
enum {
    QW_AUDIO_START_NONE = 0,  /* no frame starts before *offset */
    QW_AUDIO_START_FOUND = 1, /* the audio starts at *offset */
};

/*
 * Searches bytes[0, count) for the first frame header that the following
 * frames confirm: QW_FRAMES_CONFIRMING more headers of the same stream, each
 * at the distance the header before it gives.
 *
 * atEnd says that the bytes run to the end of the file.  Then a stream that
 * ends first needs fewer: the end of the file, or an ID3v1 tag (its "TAG" mark
 * in the last 128 bytes), may take the place of the remaining headers, once
 * one header confirmed the first or where the first frame alone fills the
 * file up to that end.
 *
 * Without atEnd a header whose confirmation lies beyond the bytes stays
 * undecided: the search answers QW_AUDIO_START_NONE with *offset there, and
 * the caller searches again from *offset with more bytes behind it (at least
 * QW_AUDIO_START_LOOKAHEAD, where the file has them).  At the end, NONE leaves
 * *offset = count.
 */
static inline int qwFindAudioStart(const uint8_t* bytes, uint32_t count, int atEnd, uint32_t* offset) {
    uint32_t at = 0;
    for (; at + QW_FRAME_HEADER_BYTES <= count; ++at) {
        if (bytes[at] != 0xFF || (bytes[at + 1] & 0xE0) != 0xE0) continue;
        const uint32_t first = qwHeaderWord(bytes + at);
        uint32_t length = qwFrameBytes(first), next = at, confirmed = 0;
        if (length == 0) continue;
        for (;;) {
            next += length;
            const int endsHere = next == count || (next + 128 == count && bytes[next] == 'T' &&
                                                   bytes[next + 1] == 'A' && bytes[next + 2] == 'G');
            if (next + QW_FRAME_HEADER_BYTES > count || (atEnd && endsHere)) {
                if (!atEnd) {
                    *offset = at;
                    return QW_AUDIO_START_NONE;
                }
                if (confirmed > 0 || endsHere) {
                    *offset = at;
                    return QW_AUDIO_START_FOUND;
                }
                break;
            }
            const uint32_t word = qwHeaderWord(bytes + next);
            length = qwFrameBytes(word);
            if (length == 0 || !qwSameStream(first, word)) break;
            if (++confirmed == QW_FRAMES_CONFIRMING) {
                *offset = at;
                return QW_AUDIO_START_FOUND;
            }
        }
    }
    /* The last few bytes hold no whole header: at the end none starts there. */
    *offset = atEnd ? count : at;
    return QW_AUDIO_START_NONE;
}

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUILLWAVE_FRAMES_H */
