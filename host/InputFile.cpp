#include "host/InputFile.h"

#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "quillwave/frames.h"
#include "quillwave/id3v2.h"

namespace qw::host {

namespace {

constexpr size_t bufferBytes = 65536;

#if defined(_WIN32)
using FileStatus = struct _stat64;
bool statusOf(std::FILE* file, FileStatus* status) { return _fstat64(_fileno(file), status) == 0; }
bool statusOf(const std::string& path, FileStatus* status) { return _stat64(path.c_str(), status) == 0; }
bool isRegular(const FileStatus& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
int seekTo(std::FILE* file, uint64_t offset) { return _fseeki64(file, int64_t(offset), SEEK_SET); }
#else
using FileStatus = struct stat;
bool statusOf(std::FILE* file, FileStatus* status) { return fstat(fileno(file), status) == 0; }
bool statusOf(const std::string& path, FileStatus* status) { return stat(path.c_str(), status) == 0; }
bool isRegular(const FileStatus& status) { return S_ISREG(status.st_mode); }
int seekTo(std::FILE* file, uint64_t offset) { return fseeko(file, off_t(offset), SEEK_SET); }
#endif

}  // namespace

InputFile::~InputFile() {
    if (file && ownsFile) std::fclose(file);
}

bool InputFile::open(const std::string& path) {
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        file = stdin;
    } else {
        file = std::fopen(path.c_str(), "rb");
        if (!file) return false;
        ownsFile = true;
    }
    FileStatus status{};
    canSeek = statusOf(file, &status) && isRegular(status);
    buffer.resize(bufferBytes);
    skipTags();
    findAudioStart();
    return true;
}

bool InputFile::isReadOnce(const std::string& path) {
    FileStatus status{};
    return path == "-" || (statusOf(path, &status) && !isRegular(status));
}

size_t InputFile::readSlow(uint8_t* target, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (next == used) {
            bufferStart += used;
            used = next = 0;
            used = std::fread(buffer.data(), 1, buffer.size(), file);
            if (used == 0) {
                readError = readError || std::ferror(file) != 0;
                break;
            }
        }
        const size_t take = std::min(count - done, used - next);
        std::memcpy(target + done, buffer.data() + next, take);
        next += take;
        done += take;
    }
    return done;
}

size_t InputFile::peek(uint8_t* target, size_t count) {
    count = std::min(count, buffer.size());
    buffered(count);
    const size_t take = std::min(count, used - next);
    std::memcpy(target, buffer.data() + next, take);
    return take;
}

bool InputFile::buffered(size_t wanted) {
    if (used - next >= wanted) return true;
    std::memmove(buffer.data(), buffer.data() + next, used - next);
    bufferStart += next;
    used -= next;
    next = 0;
    while (used < wanted) {
        const size_t got = std::fread(buffer.data() + used, 1, buffer.size() - used, file);
        if (got == 0) {
            readError = readError || std::ferror(file) != 0;
            return false;
        }
        used += got;
    }
    return true;
}

bool InputFile::seekPhysical(uint64_t offset) {
    // Within the buffer (the module often seeks to where it already is) the
    // buffered bytes stay valid.
    if (offset >= bufferStart && offset - bufferStart <= used) {
        next = size_t(offset - bufferStart);
        return true;
    }
    if (seekTo(file, offset) != 0) return false;
    bufferStart = offset;
    used = next = 0;
    return true;
}

bool InputFile::seek(uint64_t position) { return canSeek && seekPhysical(audioStart + position); }

uint64_t InputFile::size() const {
    FileStatus status{};
    if (!canSeek || !statusOf(file, &status) || status.st_size < 0) return 0;
    const uint64_t bytes = uint64_t(status.st_size);
    return bytes > audioStart ? bytes - audioStart : 0;
}

bool InputFile::skip(uint64_t count) {
    if (canSeek) return seekPhysical(bufferStart + next + count);
    // A pipe is read through.
    while (count > 0) {
        if (next == used && !buffered(1)) return false;
        const size_t take = size_t(std::min<uint64_t>(count, used - next));
        next += take;
        count -= take;
    }
    return true;
}

void InputFile::skipTags() {
    // Taggers may write several tags in a row; each says its own size.
    while (buffered(QW_ID3V2_HEADER_BYTES)) {
        const uint32_t tag = qwId3v2TagSize(buffer.data() + next);
        if (tag == 0) break;
        ++tags;
        if (!skip(tag)) break;
    }
    tagEnd = audioStart = bufferStart + next;
}

void InputFile::findAudioStart() {
    // The search looks at a full buffer at a time and moves on to the first
    // byte it could not decide, so a header near the buffer's end is judged
    // again with the frames behind it read in.
    for (;;) {
        const bool atEnd = !buffered(buffer.size());
        uint32_t offset = 0;
        const bool found =
            qwFindAudioStart(buffer.data() + next, uint32_t(used - next), atEnd, &offset) == QW_AUDIO_START_FOUND;
        next += offset;
        if (found) {
            foundAudio = true;
            audioStart = bufferStart + next;
            return;
        }
        if (atEnd) break;
    }
    // No audio: a file is handed over from behind its tags, as it is; a pipe
    // has been read through.
    if (canSeek) seekPhysical(tagEnd);
    audioStart = canSeek ? tagEnd : bufferStart + next;
}

}  // namespace qw::host
