// The bit reservoir: each frame's payload is placed behind the bytes that
// earlier frames left for it, and the granule-channels read their scale
// factors and Huffman data from there, most significant bit first.
#pragma once

#include <cstdint>

namespace qw {

class InputStream;

class MainDataBuffer {
public:
    static constexpr uint32_t halfSize = 4096;       // one of the two alternating buffers
    static constexpr uint32_t payloadOffset = 2048;  // where a frame's payload goes
    // Zero bytes behind each buffer, so that reads running past a frame's
    // data (overlong big-value regions, corrupt lengths) stay inside.
    static constexpr uint32_t readMargin = 4096;

    explicit MainDataBuffer(InputStream* source);
    MainDataBuffer(const MainDataBuffer&) = delete;
    MainDataBuffer& operator=(const MainDataBuffer&) = delete;

    // Reads n payload bytes from the stream into the next buffer and puts the
    // mainDataBegin reservoir bytes in front of them; bit position 0.
    void load(uint32_t n, uint32_t mainDataBegin);
    // Empties the reservoir: zeroed buffers, no previous frame.
    void reset();

    // n = 0..25 bits from the 32-bit window at bitPosition / 8.
    uint32_t readBits(uint32_t n);
    uint32_t readBit();

    int32_t bitPosition = 0;  // bits from the start of this frame's main data

private:
    InputStream* source;
    uint8_t buffer[2][halfSize + readMargin];
    uint32_t nextIndex = 1;
    const uint8_t* readPointer = nullptr;
    uint8_t* framePointer = nullptr;
    uint8_t* previousFramePointer = nullptr;
    uint32_t frameSize = 0;
    uint32_t previousFrameSize = 0;
};

}  // namespace qw
