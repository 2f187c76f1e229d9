// An input file as the host reads it for the module: opened once, read
// through a buffer of its own, with 64-bit offsets, and starting where the
// audio starts: any ID3v2 tags, and any bytes before the first frame header
// that the following frames confirm, are left out, so that offset 0 is that
// header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qw::host {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Opens path ("-" is standard input) and steps over the leading ID3v2
    // tags and whatever lies before the first confirmed frame; false when it
    // cannot be opened.
    bool open(const std::string& path);
    bool isOpen() const { return file != nullptr; }

    // Up to count bytes from the current position; fewer at the end of the
    // stream or on a read error (failed() then says so).
    size_t read(void* target, size_t count) {
        // Byte-by-byte frame searches are served from the buffer directly.
        if (count == 1 && next < used) {
            *static_cast<uint8_t*>(target) = buffer[next++];
            return 1;
        }
        return readSlow(static_cast<uint8_t*>(target), count);
    }
    bool failed() const { return readError; }
    // Up to count bytes from the current position, read ahead and left to
    // be read (pipes too); fewer at the end of the stream.  At most the
    // buffer's 64 KB.
    size_t peek(uint8_t* target, size_t count);

    // Only regular files can seek; pipes, FIFOs, devices and standard input
    // are read once from start to end.
    bool seekable() const { return canSeek; }
    // Moves to a position of the stream (from its first frame); false, position
    // unchanged, when the input cannot seek.  Past the end is allowed.
    bool seek(uint64_t position);
    uint64_t position() const { return bufferStart + next - audioStart; }
    // Bytes from the first frame to the end of the file as it is now; 0 when
    // the input cannot seek.
    uint64_t size() const;
    // Bytes of the ID3v2 tags stepped over at the start (headers included).
    uint64_t tagBytes() const { return tagEnd; }
    uint32_t tagCount() const { return tags; }
    // Bytes between the tags and the first frame: junk, or the end of a frame
    // cut off in front.
    uint64_t skippedBytes() const { return audioStart - tagEnd; }
    // Whether a frame header confirmed by the frames after it was found.
    // Without one the stream starts behind the tags (seekable inputs) or is
    // read through (others): it holds no audio a frame search should lock on.
    bool audioFound() const { return foundAudio; }

    // True for "-" and for a path that exists but is no regular file (a FIFO,
    // a device): such an input can be read once only, never opened a second
    // time or rewound.  Does not open the path, so a FIFO without a writer
    // does not block.
    static bool isReadOnce(const std::string& path);

private:
    size_t readSlow(uint8_t* target, size_t count);
    // Keeps the unread bytes and appends to them until `wanted` are buffered
    // or the file ends; false when fewer are there.
    bool buffered(size_t wanted);
    bool seekPhysical(uint64_t offset);
    bool skip(uint64_t count);
    void skipTags();
    void findAudioStart();

    std::FILE* file = nullptr;
    bool ownsFile = false;
    bool canSeek = false;
    bool readError = false;
    uint64_t tagEnd = 0;      // file offset of the first byte behind the ID3v2 tags
    uint64_t audioStart = 0;  // file offset of stream position 0
    uint32_t tags = 0;
    bool foundAudio = false;
    uint64_t bufferStart = 0;  // file offset of buffer[0]
    size_t used = 0;           // bytes in the buffer
    size_t next = 0;           // the next byte to hand out
    std::vector<uint8_t> buffer;
};

}  // namespace qw::host
