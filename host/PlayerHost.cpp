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
    if (input && input != stdin) std::fclose(input);
    if (current == this) current = nullptr;
}

bool PlayerHost::openInput(const std::string& inputPath) {
    path = inputPath;
    if (inputPath == "-") {
        input = stdin;
        seekable = false;
        return true;
    }
    input = std::fopen(inputPath.c_str(), "rb");
    return input != nullptr;
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

QwHandle QW_CALL PlayerHost::openOutput(uint32_t rate, uint32_t channelCount, uint32_t) {
    PlayerHost* self = current;
    if (self->outputsOpened > 0 && rate != self->sampleRate) {
        // One output file holds one format: refusing the new one ends playback.
        self->changedRate = rate;
        self->formatChanged = true;
        return 0;
    }
    if (self->outputsOpened == 0) {
        self->sampleRate = rate;
        self->channels = channelCount;
        if (self->pcmWriter) self->pcmWriter->setFormat(rate, channelCount);
    }
    ++self->outputsOpened;
    return outputHandle;
}

int32_t QW_CALL PlayerHost::writeOutput(QwHandle, const PcmBlock* block) {
    PlayerHost* self = current;
    self->positionMs = block->positionMs;
    self->lengthMs = block->lengthMs;
    if (self->pcmWriter && !self->pcmWriter->write(block->samples, block->byteCount)) {
        self->writeFailed = true;
        return 0;
    }
    return 1;
}

void QW_CALL PlayerHost::closeOutput(QwHandle) { current->ended = true; }

intptr_t QW_CALL PlayerHost::hostRequest(uint32_t code, uint32_t) {
    if (code == QW_REQUEST_INFO_CHANGED) {
        ++current->infoRequests;
        if (current->state()) current->lengthMs = int32_t(current->state()->lengthMs);
    }
    return 0;  // no parent window: this host has none
}

int32_t QW_CALL PlayerHost::readStream(void* buffer, uint32_t length, uint32_t* count) {
    std::FILE* in = current->input;
    if (!in) return 0;
    size_t got = std::fread(buffer, 1, length, in);
    *count = uint32_t(got);
    return got > 0 || !std::ferror(in) ? 1 : 0;
}

int32_t QW_CALL PlayerHost::seekStream(int32_t offset, uint32_t origin, uint32_t* position) {
    PlayerHost* self = current;
    if (!self->input || !self->seekable || origin > 2) return 0;
    static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (std::fseek(self->input, offset, whence[origin]) != 0) return 0;
    long at = std::ftell(self->input);
    if (at < 0) return 0;
    *position = uint32_t(at);
    return 1;
}

void QW_CALL PlayerHost::getFilePath(char* buffer, uint32_t size) {
    if (size == 0) return;
    std::strncpy(buffer, current->path.c_str(), size - 1);
    buffer[size - 1] = '\0';
}

}  // namespace qw::host
