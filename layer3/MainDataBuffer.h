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

    // n = 0..25 bits from the 32-bit window at bitPosition / 8.  Reads past
    // the buffer and its margin (only corrupt data gets there) give zeros.
    uint32_t readBits(uint32_t n) {
        uint32_t word = 0;
        if (uint32_t(bitPosition) < bitLimit) {
            const uint8_t* p = readPointer + (bitPosition >> 3);
            word = (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]))
                   << (bitPosition & 7);
        }
        bitPosition += int32_t(n);
        return n ? word >> (32 - n) : 0;
    }
    uint32_t readBit() { return readBits(1); }

    // This frame's main data and the number of bits from its start that can
    // be read as a whole 32-bit window: 0 before the first frame.
    const uint8_t* data() const { return readPointer; }
    uint32_t readableBits() const { return bitLimit; }

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
    uint32_t bitLimit = 0;
};

// The read position of the main data held in local variables, for the
// Huffman loops: the same bits as MainDataBuffer's reads, taken one at a time
// (or a few for escapes) from a 64-bit word kept in a register.  The word is
// refilled only where a code word starts: reserve(n) makes sure the next n
// bits are in it, so the reads that follow need no checks of their own.
class MainDataCursor {
public:
    // The most bits reserve can promise: a refill at any bit of a byte
    // leaves at least this many in the word.
    static constexpr uint32_t reservable = 57;

    explicit MainDataCursor(const MainDataBuffer& mainData)
        : data(mainData.data()),
          limit(mainData.readableBits() > 32 ? mainData.readableBits() - 32 : 0),
          end(mainData.bitPosition) {}

    void reserve(uint32_t n) {
        if (available < n) refill();
    }
    // The reads below take bits that reserve promised.
    uint32_t bit() {
        const uint32_t b = uint32_t(cache >> 63);
        cache <<= 1;
        --available;
        return b;
    }
    // One bit when take is 1, nothing (and 0) when it is 0: a sign bit that
    // only a nonzero value has, read without a branch on the value.
    uint32_t bitIf(uint32_t take) {
        const uint32_t b = uint32_t(cache >> 63) & take;
        cache <<= take;
        available -= take;
        return b;
    }
    // n = 0..25 bits.
    uint32_t bits(uint32_t n) {
        if (n == 0) return 0;
        const uint32_t value = uint32_t(cache >> (64 - n));
        cache <<= n;
        available -= n;
        return value;
    }
    // The next n (1..32) bits without taking them, and then taking n (0..32)
    // of them: a look-up by several bits at once that uses only some.
    uint32_t peek(uint32_t n) const { return uint32_t(cache >> (64 - n)); }
    void skip(uint32_t n) {
        cache <<= n;
        available -= n;
    }
    // Bits from the start of the frame's main data to the next bit to read.
    int32_t position() const { return end - int32_t(available); }

private:
    // The word holds the bits from the position on (zeros past the buffer),
    // of which available, at least 57, count.
    void refill() {
        const int32_t at = position();
        cache = 0;
        if (uint32_t(at) < limit) {
            const uint8_t* p = data + (at >> 3);
            for (int i = 0; i < 8; ++i) cache = cache << 8 | p[i];
        }
        cache <<= at & 7;
        available = 64 - uint32_t(at & 7);
        end = at + int32_t(available);
    }

    const uint8_t* data;
    uint32_t limit;  // bit positions from which 8 whole bytes can be read
    uint64_t cache = 0;
    uint32_t available = 0;
    int32_t end;  // the position just past the word's last counted bit
};

}  // namespace qw
