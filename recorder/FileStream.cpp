// Reading a file opened by path, for the recorder interface.
#include "recorder/FileStream.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "quillwave/frames.h"
#include "quillwave/id3v2.h"

namespace qw {

uint32_t FileStream::open(const wchar_t* path) {
    std::unique_ptr<char[]> name;
    if (path) {
        // Room for the longest multi-byte form of every character in the
        // current locale (one byte each in a single-byte code page) and the
        // NUL.  A character that does not convert leaves a name that does
        // not open.
        const size_t size = std::wcslen(path) * MB_CUR_MAX + 1;
        name.reset(new (std::nothrow) char[size]());
        if (!name) return resultFailed;
        if (std::wcstombs(name.get(), path, size) == size_t(-1)) name[0] = '\0';
        name[size - 1] = '\0';
    }
    file = name && name[0] ? sys::openFile(name.get(), sys::FileAccess::read) : sys::invalidFile();
    if (file == sys::invalidFile()) return resultFailed;
    start = findAudioStart(skipId3v2Tags());
    sys::setFilePointer(file, int32_t(start), sys::fileBegin);
    aheadAt = aheadEnd = 0;
    return resultOk;
}

uint32_t FileStream::skipId3v2Tags() {
    // Tags may follow one another; each header gives its tag's whole size.
    // A tag that claims more than the file has leaves an empty stream.
    const uint32_t limit = std::min<uint32_t>(sys::fileSize(file), INT32_MAX);
    uint32_t at = 0;
    for (;;) {
        uint8_t header[QW_ID3V2_HEADER_BYTES];
        uint32_t count = 0;
        sys::setFilePointer(file, int32_t(at), sys::fileBegin);
        if (!sys::readFile(file, header, sizeof header, &count) || count < sizeof header) break;
        const uint32_t size = qwId3v2TagSize(header);
        if (size == 0) break;
        at = size < limit - at ? at + size : limit;
    }
    return at;
}

uint32_t FileStream::findAudioStart(uint32_t from) {
    // The read-ahead buffer, still empty, holds one window of the file at a
    // time; each window starts at the first byte the last could not decide.
    for (uint32_t at = from; at <= INT32_MAX;) {
        uint32_t count = 0;
        if (sys::setFilePointer(file, int32_t(at), sys::fileBegin) == sys::invalidSetFilePointer ||
            !sys::readFile(file, ahead, aheadSize, &count)) {
            break;
        }
        const bool atEnd = count < aheadSize;
        uint32_t offset = 0;
        if (qwFindAudioStart(ahead, count, atEnd, &offset) == QW_AUDIO_START_FOUND) return at + offset;
        if (atEnd || offset == 0) break;
        at += offset;
    }
    return from;
}

uint32_t FileStream::close() {
    sys::closeFile(file);
    file = nullptr;
    start = 0;
    aheadAt = aheadEnd = 0;
    return 0;
}

bool FileStream::rewind() {
    ScopedLock lock(mutex);
    errorFlag = 0;
    bitPos = 0;
    return seek(0);
}

uint32_t FileStream::take(uint8_t* target, uint32_t size) {
    uint32_t done = 0;
    while (done < size) {
        if (aheadAt == aheadEnd) {
            aheadAt = aheadEnd = 0;
            uint32_t count = 0;
            if (size - done >= aheadSize) {
                // As large as the buffer or larger: straight into the caller's memory.
                return sys::readFile(file, target + done, size - done, &count) ? done + count : done;
            }
            if (!sys::readFile(file, ahead, aheadSize, &count) || count == 0) return done;
            aheadEnd = count;
        }
        const uint32_t n = std::min(size - done, aheadEnd - aheadAt);
        std::memcpy(target + done, ahead + aheadAt, n);
        aheadAt += n;
        done += n;
    }
    return done;
}

void FileStream::dropReadAhead() {
    if (aheadAt < aheadEnd) sys::setFilePointer(file, -int32_t(aheadEnd - aheadAt), sys::fileCurrent);
    aheadAt = aheadEnd = 0;
}

bool FileStream::fileOffset(int64_t streamOffset, int32_t* distance) const {
    // Before the stream's start fails as a move before the file's start does.
    if (streamOffset < 0 || int64_t(start) + streamOffset > INT32_MAX) return false;
    *distance = int32_t(start + streamOffset);
    return true;
}

bool FileStream::fill(uint32_t n) {
    ScopedLock lock(mutex);
    if (n > bufferSize || take(buffer, n) < n) {
        errorFlag = 1;
        return false;
    }
    bitPos = 0;
    return true;
}

uint32_t FileStream::read(uint8_t* target, uint32_t size, uint32_t) {
    ScopedLock lock(mutex);
    return take(target, size);
}

uint8_t FileStream::readByte(bool* ok) {
    // The frame search reads here byte by byte.  A byte already read ahead
    // is handed over without the Mutex, which guards the file handle (taking
    // it is a system call of its own on some systems); the stream has one
    // user at a time.
    if (aheadAt < aheadEnd) {
        *ok = true;
        return ahead[aheadAt++];
    }
    uint8_t byte = 0;
    *ok = read(&byte, 1, 0) == 1;
    return byte;
}

uint32_t FileStream::position() {
    const uint32_t at = sys::setFilePointer(file, 0, sys::fileCurrent);
    if (at == sys::invalidSetFilePointer) return at;
    return at - (aheadEnd - aheadAt) - start;
}

bool FileStream::seek(uint32_t p) {
    ScopedLock lock(mutex);
    dropReadAhead();
    int32_t distance = 0;
    return fileOffset(p, &distance) &&
           sys::setFilePointer(file, distance, sys::fileBegin) != sys::invalidSetFilePointer;
}

uint32_t FileStream::length() {
    const uint32_t size = sys::fileSize(file);
    if (size == 0xFFFFFFFFu) return size;
    return size > start ? size - start : 0;
}

uint32_t FileStream::readAt(int32_t offset, int32_t origin, uint8_t* target, uint32_t size, uint32_t* count) {
    ScopedLock lock(mutex);
    dropReadAhead();
    const uint32_t saved = position();
    // A move that fails leaves the file pointer, and the read takes place
    // there, as with the file functions.
    int32_t distance = offset;
    if (origin != originStart || fileOffset(offset, &distance)) sys::setFilePointer(file, distance, uint32_t(origin));
    *count = 0;
    if (!sys::readFile(file, target, size, count)) *count = 0;
    seek(saved);
    return resultOk;
}

}  // namespace qw
