// Query, Initialise and Shutdown.
#include "plugin/PluginEntry.h"

#include "platform/platform.h"
#include "plugin/DecodingThread.h"
#include "plugin/SongInfo.h"

namespace qw {

namespace {

const PluginDescriptor descriptor = {
    0,
    "qw 4",
    "The Quillwave developers",
    "Copyright (c) 2026 Brindlewood",
    0x00010000u,
    "mp1\0mp2\0mp3\0",  // the literal's own NUL ends the list: 13 bytes
    13,
    16,
    0,
};

char settingsPathBuffer[QW_INI_PATH_BYTES];

int32_t QW_CALL pluginReady(PlayerContext*) { return 1; }
int32_t QW_CALL pluginExtra() { return 0; }

}  // namespace

void copyString(char* target, const char* source, uint32_t size) {
    if (size == 0) return;
    uint32_t i = 0;
    if (source) {
        for (; i + 1 < size && source[i]; ++i) target[i] = source[i];
    }
    target[i] = '\0';
}

const char* settingsPath() { return settingsPathBuffer; }

void setSettingsPath(const char* path) { copyString(settingsPathBuffer, path, sizeof settingsPathBuffer); }

const PluginDescriptor* query() { return &descriptor; }

int32_t initialise(PlayerContext* context) {
    context->pluginReady = pluginReady;
    context->pluginHalt = pluginHalt;
    context->pluginStart = pluginStart;
    context->pluginStop = pluginStop;
    context->pluginSeek = pluginSeek;
    context->pluginSongInfo = pluginSongInfo;
    context->pluginAbout = pluginAbout;
    context->pluginExtra = pluginExtra;

    // Zeroed: not playing, no thread, no stream information yet.
    context->state = static_cast<PlaybackState*>(sys::globalAllocZeroed(sizeof(PlaybackState)));
    setSettingsPath(context->iniPath);
    return 1;
}

int32_t shutdown(PlayerContext* context) {
    // A decoding thread still running would use the block after it is freed:
    // end it first, as pluginHalt does.
    if (context->state && context->state->threadHandle) pluginHalt(context);
    sys::globalFree(context->state);
    context->state = nullptr;
    return 1;
}

}  // namespace qw
