#include "synthesis/SimdLevel.h"

#include <algorithm>
#include <atomic>

namespace qw::simd {

namespace {

Level detect() {
#if defined(__x86_64__) || defined(__i386__)
    // Also checks that the system saves the wide registers (OSXSAVE, XCR0).
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) {
        return Level::avx512;
    }
    if (avx2) return Level::avx2;
    if (__builtin_cpu_supports("avx")) return Level::avx;
#endif
    return Level::sse2;
}

// -1 until first asked; a plain integer so that a kernel's check is one load.
std::atomic<int> activeLevel{-1};

}  // namespace

Level supported() {
    static const Level level = detect();
    return level;
}

Level active() {
    const int level = activeLevel.load(std::memory_order_relaxed);
    if (level >= 0) return Level(level);
    activeLevel.store(int(supported()), std::memory_order_relaxed);
    return supported();
}

void cap(Level level) { activeLevel.store(std::min(int(level), int(supported())), std::memory_order_relaxed); }

}  // namespace qw::simd
