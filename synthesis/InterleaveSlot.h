// The last step of both synthesis banks: one time slot's 32 samples of each
// channel, interleaved into the output.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qw {

inline void interleaveSlot(const int16_t (*pcm)[32], uint32_t channels, int16_t* output) {
    if (channels == 1) {
        std::memcpy(output, pcm[0], sizeof pcm[0]);
        return;
    }
#if defined(__SSE2__)
    for (int i = 0; i < 32; i += 8) {
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pcm[0] + i));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pcm[1] + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + 2 * i), _mm_unpacklo_epi16(left, right));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(output + 2 * i + 8), _mm_unpackhi_epi16(left, right));
    }
#else
    for (int i = 0; i < 32; ++i) output[2 * i] = pcm[0][i], output[2 * i + 1] = pcm[1][i];
#endif
}

}  // namespace qw
