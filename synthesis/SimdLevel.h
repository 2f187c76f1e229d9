// The instruction sets the hot kernels are built for, and the one they use.
// SSE2 is the baseline every x86 build assumes; wider paths are chosen at run
// time from what the processor has.  Every path gives the same bits, which
// the tests prove by capping the level and comparing.
#pragma once

namespace qw::simd {

enum class Level : int {
    sse2 = 0,    // the baseline (also what non-x86 builds report)
    avx = 1,     // 256-bit vectors
    avx2 = 2,    // with fused multiply-add
    avx512 = 3,  // 512-bit vectors (foundation, double/quad-word, byte/word and 128/256-bit forms)
};

// The widest level this processor runs, detected once.
Level supported();

// The level the kernels use: the supported one, or lower while capped.
Level active();

// Caps the level the kernels use (at most the supported one), so that a
// wide processor can run the narrower paths; cap(supported()) lifts it.
void cap(Level level);

}  // namespace qw::simd
