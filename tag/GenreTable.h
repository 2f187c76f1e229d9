// The names of the genres an ID3v1 tag can carry, by the index it stores.
#pragma once

#include <cstdint>

namespace qw {

constexpr int32_t genreCount = 148;

extern const char* const genreNames[genreCount];

}  // namespace qw
