// The recorder interface: open a file by path, ask its duration, pull PCM.
#pragma once

#include "quillwave/quillwave.h"

namespace qw {

// Makes a recorder object; 0, or resultFailed (with null stored) when no
// memory can be had.
int32_t createRecorderPluginInterface(void** object);

}  // namespace qw
