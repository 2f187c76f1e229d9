// Playback of one file on a thread of its own.
#pragma once

#include "quillwave/quillwave.h"

namespace qw {

int32_t QW_CALL pluginStart(PlayerContext* context);
int32_t QW_CALL pluginStop(PlayerContext* context);
int32_t QW_CALL pluginHalt(PlayerContext* context);
int32_t QW_CALL pluginSeek(PlayerContext* context, int32_t milliseconds);

// Scales a block in place from silence up to half level: the gain starts at
// 0 and grows by 1/n after each pair of values.
void fadeIn(int16_t* values, uint32_t count);

}  // namespace qw
