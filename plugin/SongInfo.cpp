// Song information from the PlaybackState, and the about texts.
#include "plugin/SongInfo.h"

#include "platform/platform.h"

namespace qw {

namespace {

const char* const mpegVersionText[3] = {"1", "2", "2.5"};
const char emptyText[] = "";

// The texts handed out stay valid until the next call.
char bitrateText[256];
char formatText[256];

}  // namespace

int32_t QW_CALL pluginSongInfo(PlayerContext* context, SongInfo* info) {
    const PlaybackState* state = context->state;
    if (state->threadHandle == 0) return 0;
    if (!state->infoValid) {
        info->artist = emptyText;
        info->title = emptyText;
        info->bitrateText = emptyText;
        info->formatText = emptyText;
        return 0;
    }
    const bool tagged = state->tag.present != 0;
    info->artist = tagged ? state->tag.artist : nullptr;
    info->title = tagged ? state->tag.title : nullptr;
    // The fields are read as the decoding thread left them; keep the index in range.
    const uint32_t version = state->mpegVersion < 3 ? state->mpegVersion : 0;
    sys::formatString(formatText, "MPEG%s\nLayer%d\n%s\n%dHz", mpegVersionText[version], int(state->layer),
                      state->channels == 2 ? "Stereo" : "Mono", int(state->sampleRate));
    info->formatText = formatText;
    sys::formatString(bitrateText, "%dkb/s", int(state->bitrate));
    info->bitrateText = bitrateText;
    info->lengthMs = state->lengthMs;
    return 1;
}

int32_t QW_CALL pluginAbout(PlayerContext*, AboutInfo* info) {
    info->word0 = 1;
    info->company = "Brindlewood";
    info->word8 = 1;
    info->product = "Quillwave 4";
    info->word16 = 1;
    info->copyright = "Copyright (c) 2026 Brindlewood";
    info->word24 = 0;
    info->half28 = 1;
    info->half30 = 0;
    return 1;
}

}  // namespace qw
