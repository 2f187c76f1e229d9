// The bit reservoir.  Two buffers alternate from frame to frame, so that the
// previous frame's bytes stay in place while the current payload is read;
// each payload lands at payloadOffset, and the reservoir bytes it refers back
// to are copied directly in front of it.
#include "layer3/MainDataBuffer.h"

#include <algorithm>
#include <cstring>

#include "plugin/InputStream.h"

namespace qw {

namespace {

constexpr uint32_t bufferBytes = MainDataBuffer::halfSize + MainDataBuffer::readMargin;

}  // namespace

MainDataBuffer::MainDataBuffer(InputStream* source) : source(source) { reset(); }

void MainDataBuffer::reset() {
    std::memset(buffer, 0, sizeof(buffer));
    nextIndex = 1;
    readPointer = buffer[0];
    bitLimit = 0;
    framePointer = buffer[1];
    previousFramePointer = buffer[1];
    frameSize = 0;
    previousFrameSize = 0;
}

void MainDataBuffer::load(uint32_t n, uint32_t mainDataBegin) {
    const uint32_t previousIndex = framePointer >= buffer[1] ? 1 : 0;
    previousFrameSize = frameSize;
    previousFramePointer = framePointer;
    framePointer = buffer[nextIndex] + payloadOffset;
    nextIndex = 1 - nextIndex;

    // The largest Layer III frame (320 kbit/s at 32 kHz, or 160 kbit/s at
    // 8 kHz, padded) is 1441 bytes, so a valid payload always fits behind
    // payloadOffset and this clamp never shortens one; it only keeps a bogus
    // length from writing into the zero margin or past the buffer.
    n = std::min(n, halfSize - payloadOffset);
    const uint32_t got = source ? std::min(source->read(framePointer, n, 0), n) : 0;
    if (got < n) std::memset(framePointer + got, 0, n - got);
    frameSize = n;

    // main_data_begin is at most 511 once the side information was checked.
    mainDataBegin = std::min(mainDataBegin, payloadOffset);
    uint8_t* destination = framePointer - mainDataBegin;
    readPointer = destination;
    bitPosition = 0;
    // Whole 32-bit windows up to the end of this buffer's margin.
    const uint8_t* bufferEnd = buffer[1 - nextIndex] + bufferBytes;
    bitLimit = uint32_t(bufferEnd - readPointer - 3) * 8;

    // The reservoir bytes end where the previous payload ended.  Whatever of
    // that range lies before the previous buffer's start (no frame has been
    // placed since construction or reset) reads as zeros.
    const uint8_t* previousStart = buffer[previousIndex];
    const uint32_t previousEnd = uint32_t(previousFramePointer - previousStart) + previousFrameSize;
    const uint32_t available = std::min(mainDataBegin, previousEnd);
    const uint32_t missing = mainDataBegin - available;
    std::memset(destination, 0, missing);
    std::memmove(destination + missing, previousStart + previousEnd - available, available);
}

}  // namespace qw
