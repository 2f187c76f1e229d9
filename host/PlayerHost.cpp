#include "host/PlayerHost.h"

#include <cstring>
#if defined(_WIN32)
#include <io.h>
#define QW_ISATTY _isatty
#define QW_FILENO _fileno
#else
#include <unistd.h>
#define QW_ISATTY isatty
#define QW_FILENO fileno
#endif

#include "platform/platform.h"

namespace qw::host {

namespace {

// The module's callbacks carry no player argument: they reach the one
// player this host runs through this pointer.
PlayerHost* current = nullptr;

constexpr QwHandle outputHandle = 1;

}  // namespace

PlayerHost::PlayerHost(Module& loaded, std::string iniPath) : module(loaded), ini(std::move(iniPath)) {
    current = this;
    playerContext.openOutput = openOutput;
    playerContext.writeOutput = writeOutput;
    playerContext.closeOutput = closeOutput;
    playerContext.hostRequest = hostRequest;
    playerContext.iniPath = ini.c_str();
    playerContext.readStream = readStream;
    playerContext.seekStream = seekStream;
    playerContext.getFilePath = getFilePath;
}

PlayerHost::~PlayerHost() {
    shutdown();
    if (current == this) current = nullptr;
}

bool PlayerHost::openInput(const std::string& inputPath) {
    path = inputPath;
    return inputFile.open(inputPath);
}

bool PlayerHost::initialise() {
    initialised = module.initialise(&playerContext) == 1;
    return initialised;
}

void PlayerHost::shutdown() {
    if (!initialised) return;
    module.shutdown(&playerContext);
    initialised = false;
}

bool PlayerHost::start() {
    ended = false;
    return playerContext.pluginStart(&playerContext) == 1;
}

void PlayerHost::seek(int32_t milliseconds) { playerContext.pluginSeek(&playerContext, milliseconds); }

void PlayerHost::waitForEnd(bool showProgress) {
    const bool progress = showProgress && QW_ISATTY(QW_FILENO(stderr));
    int ticks = 0;
    while (!ended) {
        sys::sleepMs(10);
        if (progress && ++ticks % 10 == 0) {
            std::fprintf(stderr, "\r%d / %d s ", positionMs.load() / 1000, lengthMs.load() / 1000);
        }
    }
    if (progress) std::fprintf(stderr, "\r%d / %d s\n", positionMs.load() / 1000, lengthMs.load() / 1000);
}

void PlayerHost::stop() { playerContext.pluginStop(&playerContext); }

// A format counts once PCM comes in it.  The module opens the output again
// whenever the frame it takes has another sample rate; a false frame header
// in damaged bytes does so without a sample of audio, and the real stream
// opens its own format again at the next frame.  Such a format is forgotten.
QwHandle QW_CALL PlayerHost::openOutput(uint32_t rate, uint32_t channelCount, uint32_t) {
    PlayerHost* self = current;
    self->openedRate = rate;
    self->openedChannels = channelCount;
    ++self->outputsOpened;
    return outputHandle;
}

int32_t QW_CALL PlayerHost::writeOutput(QwHandle, const PcmBlock* block) {
    PlayerHost* self = current;
    if (block->byteCount > 0) {
        if (self->sampleRate == 0) {
            self->sampleRate = self->openedRate;
            self->channels = self->openedChannels;
            if (self->pcmWriter) self->pcmWriter->setFormat(self->sampleRate, self->channels);
        } else if (self->openedRate != self->sampleRate) {
            // One output file holds one format: refusing the block ends playback.
            self->changedRate = self->openedRate;
            self->formatChanged = true;
            return 0;
        }
    }
    self->positionMs = block->positionMs;
    self->lengthMs = block->lengthMs;
    self->valuesReceived += block->byteCount / 2;
    self->audioEnd = self->frameDataEnd;
    if (self->pcmWriter && !self->pcmWriter->writeBlock(*block)) {
        self->writeFailed = true;
        return 0;
    }
    return 1;
}

void QW_CALL PlayerHost::closeOutput(QwHandle) { current->ended = true; }

intptr_t QW_CALL PlayerHost::hostRequest(uint32_t code, uint32_t) {
    if (code == QW_REQUEST_INFO_CHANGED) {
        ++current->infoRequests;
        if (const PlaybackState* state = current->state()) {
            current->lengthMs = int32_t(state->lengthMs);
            current->layer = state->layer;
        }
        // The first frame is decoded next, and its PCM waits in the module
        // for more: the seek, queued now, is taken before any goes out.
        if (current->startSeekMs >= 0) {
            current->seek(current->startSeekMs);
            current->startSeekMs = -1;
        }
    }
    return 0;  // no parent window: this host has none
}

int32_t QW_CALL PlayerHost::readStream(void* buffer, uint32_t length, uint32_t* count) {
    InputFile& in = current->inputFile;
    if (!in.isOpen()) return 0;
    const size_t got = in.read(buffer, length);
    *count = uint32_t(got);
    // The module reads a frame's side information and data in a call each,
    // and a header in four bytes; its frame search reads byte by byte.  So a
    // read of more than a header is frame data, and where the last one ended
    // is where the audio handed over next came from.
    if (length > 4 && got > 0) current->frameDataEnd = in.position();
    return got > 0 || !in.failed() ? 1 : 0;
}

// Positions in this contract are 32-bit.  An offset from the start is taken
// as unsigned: the module passes its (unsigned) positions that way, and no
// position lies before the start, so files of 2 to 4 GB seek in full.  A seek
// whose target lies beyond 4 GB - 1 is refused and the position stays, so no
// answer ever wraps: the seek to the end of a larger file fails, and the
// module takes such a file as one that cannot seek, playing it from start to
// end without a length.
int32_t QW_CALL PlayerHost::seekStream(int32_t offset, uint32_t origin, uint32_t* position) {
    InputFile& in = current->inputFile;
    if (!in.isOpen() || !in.seekable() || origin > 2) return 0;
    const int64_t from = origin == 0 ? 0 : origin == 1 ? int64_t(in.position()) : int64_t(in.size());
    const int64_t target = from + (origin == 0 ? int64_t(uint32_t(offset)) : int64_t(offset));
    if (target < 0 || target > int64_t(UINT32_MAX) || !in.seek(uint64_t(target))) return 0;
    *position = uint32_t(target);
    return 1;
}

void QW_CALL PlayerHost::getFilePath(char* buffer, uint32_t size) {
    if (size == 0) return;
    std::strncpy(buffer, current->path.c_str(), size - 1);
    buffer[size - 1] = '\0';
}

}  // namespace qw::host
