// The InputStream over a file the stream opens itself, by a wide-character path.
#pragma once

#include <cwchar>

#include "platform/platform.h"
#include "plugin/InputStream.h"
#include "plugin/StreamMutex.h"

namespace qw {

// The stream starts where the audio starts: leading ID3v2 tags, and bytes
// before the first frame header that the following frames confirm (junk, the
// end of a frame cut off in front), are not part of it.  Offset 0,
// position(), seek() and length() count from that header; readAt from the
// end of the file is unaffected.
//
// Reads go through a read-ahead buffer, so the byte-by-byte frame search
// costs no system call per byte.  From the outside the stream behaves as if
// every read went to the file: position() is the next byte the caller gets.
class FileStream : public BufferedStream {
public:
    FileStream() = default;
    // Does not close the file: the owner calls close first.
    ~FileStream() override = default;

    bool fill(uint32_t n) override;
    uint32_t read(uint8_t* buffer, uint32_t size, uint32_t unused) override;
    uint8_t readByte(bool* ok) override;
    uint32_t position() override;
    bool seek(uint32_t position) override;
    uint32_t length() override;
    uint32_t readAt(int32_t offset, int32_t origin, uint8_t* buffer, uint32_t size, uint32_t* count) override;

    // 0 when the file is open, resultFailed otherwise.
    virtual uint32_t open(const wchar_t* path);
    virtual uint32_t close();

    // Back to offset 0 with the error flag cleared, as right after open: a
    // short fill sets the flag for good, and only a fresh start may drop it.
    bool rewind();

    // Bytes in front of the audio that the stream leaves out.
    uint32_t audioStart() const { return start; }

private:
    static constexpr uint32_t aheadSize = 32768;

    uint32_t skipId3v2Tags();
    // The file offset of the first confirmed frame header from `from` on, or
    // `from` when there is none.
    uint32_t findAudioStart(uint32_t from);
    // Hands over up to size bytes from the read-ahead buffer and the file.
    uint32_t take(uint8_t* target, uint32_t size);
    // Puts the file pointer back on the next byte the caller gets and empties
    // the read-ahead buffer, so that the file pointer is the stream's position.
    void dropReadAhead();
    // The file offset of a stream offset, or false when the offset lies
    // beyond what a move from the file's start can reach.
    bool fileOffset(int64_t streamOffset, int32_t* distance) const;

    sys::Handle file = nullptr;
    Mutex mutex;
    uint32_t start = 0;  // file offset of stream offset 0
    uint8_t ahead[aheadSize];
    uint32_t aheadAt = 0;   // next byte to hand over
    uint32_t aheadEnd = 0;  // bytes held
};

}  // namespace qw
