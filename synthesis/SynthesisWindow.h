// The 512 coefficients D[i] of the standard's synthesis window.
#pragma once

namespace qw {

extern const double synthesisWindow[512];

}  // namespace qw
