// The byte-and-bit source that the frame reader and the layer decoders read.
#pragma once

#include <cstdint>

namespace qw {

// Origins of readAt, the same as the host's seek origins.
enum StreamOrigin : int32_t { originStart = 0, originCurrent = 1, originEnd = 2 };

// Result codes of readAt (and of the recorder's open operations).
constexpr uint32_t resultOk = 0;
constexpr uint32_t resultFailed = 1001;

// Abstract source; the operations keep this slot order.
class InputStream {
public:
    virtual uint8_t isError() = 0;
    // Reads exactly n bytes into the start of the internal buffer, bit position 0.
    virtual bool fill(uint32_t n) = 0;
    // The next n (0..32) bits of the internal buffer, most significant first.
    virtual uint32_t getBits(uint32_t n) = 0;
    // Reads from the source straight into the caller's buffer.
    virtual uint32_t read(uint8_t* buffer, uint32_t size, uint32_t unused) = 0;
    virtual uint8_t readByte(bool* ok) = 0;
    virtual uint32_t position() = 0;
    virtual bool seek(uint32_t position) = 0;
    virtual uint32_t bitPosition() = 0;
    // 0 when the source cannot seek.
    virtual uint32_t length() = 0;
    // Reads size bytes at (offset, origin) and restores the read position.
    virtual uint32_t readAt(int32_t offset, int32_t origin, uint8_t* buffer, uint32_t size, uint32_t* count) = 0;
    virtual ~InputStream() = default;
};

// The part both concrete streams share: the error flag, the 32 KB buffer that
// `fill` loads, the bit reader over it, and byte reads through `read`.
class BufferedStream : public InputStream {
public:
    static constexpr uint32_t bufferSize = 32768;

    uint8_t isError() override { return errorFlag; }
    uint32_t bitPosition() override { return bitPos; }

    // One byte through read.
    uint8_t readByte(bool* ok) override {
        uint8_t byte = 0;
        *ok = read(&byte, 1, 0) == 1;
        return *ok ? byte : 0;
    }

    // Takes the four bytes at bitPosition / 8 as a big-endian word, so a
    // request is exact for up to 25 bits anywhere and 32 at a byte boundary.
    uint32_t getBits(uint32_t n) override {
        if (n == 0) return 0;
        const uint32_t byte = bitPos >> 3;
        uint32_t word = 0;
        if (byte < bufferSize) {  // reads past the buffer see zeros
            word = uint32_t(buffer[byte]) << 24 | uint32_t(buffer[byte + 1]) << 16 | uint32_t(buffer[byte + 2]) << 8 |
                   uint32_t(buffer[byte + 3]);
        }
        word <<= bitPos & 7;
        bitPos += n;
        return word >> (32 - n);
    }

protected:
    uint8_t errorFlag = 0;
    uint8_t buffer[bufferSize + 4] = {};  // four zero bytes behind the last word
    uint32_t bitPos = 0;
};

}  // namespace qw
