// The module's entry points and module-wide state.
#pragma once

#include "quillwave/quillwave.h"

namespace qw {

const PluginDescriptor* query();
int32_t initialise(PlayerContext* context);
int32_t shutdown(PlayerContext* context);

// The host's settings file, as handed over by Initialise or Configure.
const char* settingsPath();
// Copies at most 2047 characters and a NUL, like lstrcpyn with 2048.
void setSettingsPath(const char* path);

// Copies at most size - 1 characters and a NUL (lstrcpyn).
void copyString(char* target, const char* source, uint32_t size);

}  // namespace qw
