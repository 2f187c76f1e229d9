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

// What the wider kernels are compiled for; only run-time dispatch reaches
// them, so the rest of the build keeps to the SSE2 baseline.
#define QW_TARGET_AVX __attribute__((target("avx")))
#define QW_TARGET_AVX2 __attribute__((target("avx2,fma")))
#define QW_TARGET_AVX512 __attribute__((target("avx512f,avx512dq,avx512bw,avx512vl,avx2,fma")))

// Whether a kernel may fuse a multiplication with the addition that follows
// it.  Fusing skips the product's rounding, so it is allowed only where every
// product is exact (single-precision factors multiplied in double precision);
// elsewhere a kernel built for a level with fused multiply-adds forbids it.
// GCC takes this per function; clang fuses within an expression by default
// and is told inside the function (QW_NO_FUSING_HERE).
#if defined(__clang__)
#define QW_FUSE_EXACT_PRODUCTS
#define QW_NO_FUSING
#define QW_NO_FUSING_HERE _Pragma("clang fp contract(off)")
#else
#define QW_FUSE_EXACT_PRODUCTS __attribute__((optimize("fp-contract=fast")))
#define QW_NO_FUSING __attribute__((optimize("fp-contract=off")))
#define QW_NO_FUSING_HERE
#endif
