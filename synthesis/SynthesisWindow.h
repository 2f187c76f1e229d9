// The 512 coefficients D[i] of the synthesis window.
#pragma once

namespace qw {

extern const double synthesisWindow[512];

}  // namespace qw
