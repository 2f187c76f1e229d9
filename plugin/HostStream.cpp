// Reading the playing file through the host.
#include "plugin/HostStream.h"

namespace qw {

HostStream::HostStream(PlayerContext* playerContext) : context(playerContext) {
    // A source whose seek to the end fails cannot seek at all: length 0.
    uint32_t end = 0;
    if (context->seekStream(0, originEnd, &end)) {
        streamLength = end;
        uint32_t start = 0;
        context->seekStream(0, originStart, &start);
    }
}

bool HostStream::fill(uint32_t n) {
    uint32_t count = 0;
    if (n > bufferSize || !context->readStream(buffer, n, &count) || count < n) {
        errorFlag = 1;
        return false;
    }
    bitPos = 0;
    return true;
}

uint32_t HostStream::read(uint8_t* target, uint32_t size, uint32_t) {
    uint32_t count = 0;
    if (!context->readStream(target, size, &count)) {
        errorFlag = 1;
        return 0;
    }
    pos += count;
    return count;
}

bool HostStream::seek(uint32_t position) {
    if (streamLength == 0) return false;
    ScopedLock lock(mutex);
    uint32_t at = 0;
    context->seekStream(int32_t(position), originStart, &at);
    context->seekStream(0, originCurrent, &at);
    pos = at;
    return true;
}

uint32_t HostStream::readAt(int32_t offset, int32_t origin, uint8_t* target, uint32_t size, uint32_t* count) {
    if (streamLength == 0) return resultFailed;
    ScopedLock lock(mutex);
    uint32_t saved = 0;
    if (!context->seekStream(0, originCurrent, &saved)) return resultFailed;
    uint32_t ignored = 0;
    context->seekStream(offset, uint32_t(origin), &ignored);
    context->readStream(target, size, count);
    context->seekStream(int32_t(saved), originStart, &ignored);
    return resultOk;
}

}  // namespace qw
