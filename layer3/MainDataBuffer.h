// The bit reservoir: each frame's payload is placed behind the bytes that
// earlier frames left for it, and the granule-channels read their scale
// factors and Huffman data from there, most significant bit first.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

    // This frame's main data (zeros before the first frame) and the number of
    // bits from its start that can be read as a whole 32-bit window (0 before
    // the first frame).
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
// Huffman loops: a 64-bit window holds the bits from the position on, most
// significant first, and `count` of them are counted as read in.  refill()
// tops the window up to at least 56 counted bits without a branch: it puts
// the eight bytes that follow the counted ones right behind them and counts
// the whole bytes it added (bits it places twice are the same bits, so the
// OR leaves them as they were).  Between refills the reads take counted bits
// and need no checks of their own.
//
// The cursor reads the buffer without bounds checks: it starts no further in
// than `reach` bits before the end of the buffer and its margin, and a
// caller reads at most `reach` bits past its start (a start further in,
// which a frame's main data never reaches, is moved back to that point).
class MainDataCursor {
public:
    static constexpr uint32_t refilled = 56;
    // Room for a granule-channel's Huffman data: 288 big-value pairs of at
    // most 47 bits, the quadruples up to 4095 bits from the start, and the
    // eight bytes each refill loads ahead.
    static constexpr uint32_t reach = 288 * 47 + 4096 + 2 * 64;

    MainDataCursor(const MainDataBuffer& mainData, int32_t from) {
        const uint32_t room = mainData.readableBits() > reach ? mainData.readableBits() - reach : 0;
        const uint32_t start = std::min(uint32_t(std::max(from, 0)), room);
        data = mainData.data();
        next = data + start / 8;
        window = loadBigEndian(next) << (start & 7);
        count = refilled - (start & 7);
        next += refilled / 8;
    }

    void refill() {
        window |= loadBigEndian(next) >> count;
        next += (63 - count) >> 3;
        count |= refilled;
    }
    // The reads below take bits that a refill counted.
    // The next n (1..32) bits without taking them, and taking n (0..32).
    size_t peek(uint32_t n) const { return size_t(window >> (64 - n)); }
    void skip(uint32_t n) {
        window <<= n;
        count -= n;
    }
    // n = 0..32 bits.
    uint32_t take(uint32_t n) {
        const uint32_t value = uint32_t(window >> 1 >> (63 - n));
        skip(n);
        return value;
    }
    // Without taking them: n = 0..32 bits from `offset` bits on, and the bit
    // there (offset + n at most 56 after a refill).
    uint32_t peekAt(uint32_t offset, uint32_t n) const { return uint32_t(window << offset >> 1 >> (63 - n)); }
    uint32_t bitAt(uint32_t offset) const { return uint32_t(window << offset >> 63); }
    // One bit when take is 1, nothing (and 0) when it is 0: a sign bit that
    // only a nonzero value has, read without a branch on the value.
    uint32_t bitIf(uint32_t taken) {
        const uint32_t b = uint32_t(window >> 63) & taken;
        skip(taken);
        return b;
    }
    // Bits from the start of the frame's main data to the next bit to read.
    int32_t position() const { return int32_t(next - data) * 8 - int32_t(count); }

private:
    static uint64_t loadBigEndian(const uint8_t* p) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
#if defined(__GNUC__)
        return __builtin_bswap64(word);
#else
        uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = value << 8 | p[i];
        return value;
#endif
    }

    const uint8_t* data;
    const uint8_t* next;  // the byte after the counted bits' whole bytes
    uint64_t window;
    uint32_t count;
};

// A granule-channel's Huffman data starts at most three granule-channels of
// 4095 bits and its own scale factors (under 512 bits) into the frame's main
// data, which starts at most payloadOffset bytes into its buffer.
static_assert((MainDataBuffer::halfSize + MainDataBuffer::readMargin - MainDataBuffer::payloadOffset - 3) * 8 >=
                  3 * 4095 + 512 + MainDataCursor::reach,
              "the cursor never needs to be moved back from where a frame puts it");

}  // namespace qw
