/*
 * Quillwave: where the audio of a file begins.
 *
 * Files as encoders and taggers write them often start with one or more ID3v2
 * tags (versions 2.2, 2.3 and 2.4), which may hold anything, false frame sync
 * words included.  A frame search must start behind them.  A host that hands
 * the module a stream positions it there; the module's recorder, which opens
 * files itself, does the same.
 */
#ifndef QUILLWAVE_ID3V2_H
#define QUILLWAVE_ID3V2_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of an ID3v2 tag header (and of its footer). */
#define QW_ID3V2_HEADER_BYTES 10u

/*
 * The whole size, header and footer included, of the ID3v2 tag whose 10-byte
 * header is given, or 0 when the bytes are not such a header: "ID3", a major
 * version of 2 to 4, a revision other than 0xFF, and a size of four 7-bit
 * ("syncsafe") bytes.  A tag of version 2.4 with the footer flag (bit 4 of
 * the flags) has 10 bytes more at its end.
 */
static inline uint32_t qwId3v2TagSize(const uint8_t header[QW_ID3V2_HEADER_BYTES]) {
    if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return 0;
    if (header[3] < 2 || header[3] > 4 || header[4] == 0xFF) return 0;
    if ((header[6] | header[7] | header[8] | header[9]) & 0x80) return 0;
    const uint32_t body =
        (uint32_t)header[6] << 21 | (uint32_t)header[7] << 14 | (uint32_t)header[8] << 7 | (uint32_t)header[9];
    const uint32_t footer = (header[3] == 4 && (header[5] & 0x10)) ? QW_ID3V2_HEADER_BYTES : 0;
    return QW_ID3V2_HEADER_BYTES + body + footer;
}

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* QUILLWAVE_ID3V2_H */
