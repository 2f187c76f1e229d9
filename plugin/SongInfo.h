// What the host shows about the playing file and about the plug-in.
#pragma once

#include "quillwave/quillwave.h"

namespace qw {

int32_t QW_CALL pluginSongInfo(PlayerContext* context, SongInfo* info);
int32_t QW_CALL pluginAbout(PlayerContext* context, AboutInfo* info);

}  // namespace qw
