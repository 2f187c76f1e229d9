// Conversion of a floating-point figure to an integer type that is defined for
// every input: a plain conversion of a value outside the target's range (or of
// a NaN) is undefined behaviour, and figures computed from stream contents
// can be anything.
#pragma once

#include <limits>
#include <type_traits>

namespace qw {

// Truncates toward zero like a plain conversion when the value fits; a value
// beyond the range gives the nearest end of it, a NaN gives 0.
template <typename Int>
Int saturatingCast(double value) {
    static_assert(std::is_integral_v<Int>, "the target is an integer type");
    constexpr Int lowest = std::numeric_limits<Int>::min();
    constexpr Int highest = std::numeric_limits<Int>::max();
    if (value != value) return 0;
    // double(highest) is exact or rounds up to the next power of two, so every
    // value below it converts.
    if (value >= double(highest)) return highest;
    if (value <= double(lowest)) return lowest;
    return Int(value);
}

}  // namespace qw
