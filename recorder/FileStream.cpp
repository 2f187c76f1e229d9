// Reading a file opened by path, for the recorder interface.
#include "recorder/FileStream.h"

#include <cstdlib>
#include <memory>

namespace qw {

uint32_t FileStream::open(const wchar_t* path) {
    std::unique_ptr<char[]> name;
    if (path) {
        // One byte per wide character, as the multi-byte conversion of the
        // system's code page gives; a character that does not convert leaves
        // a name that does not open.
        const size_t size = std::wcslen(path) + 1;
        name.reset(new char[size]());
        if (std::wcstombs(name.get(), path, size) == size_t(-1)) name[0] = '\0';
        name[size - 1] = '\0';
    }
    file = name && name[0] ? sys::openFile(name.get(), sys::FileAccess::read) : sys::invalidFile();
    return file == sys::invalidFile() ? resultFailed : resultOk;
}

uint32_t FileStream::close() {
    sys::closeFile(file);
    file = nullptr;
    return 0;
}

bool FileStream::fill(uint32_t n) {
    ScopedLock lock(mutex);
    uint32_t count = 0;
    if (n > bufferSize || !sys::readFile(file, buffer, n, &count) || count < n) {
        errorFlag = 1;
        return false;
    }
    bitPos = 0;
    return true;
}

uint32_t FileStream::read(uint8_t* target, uint32_t size, uint32_t) {
    ScopedLock lock(mutex);
    uint32_t count = 0;
    if (!sys::readFile(file, target, size, &count)) return 0;
    return count;
}

uint32_t FileStream::position() { return sys::setFilePointer(file, 0, sys::fileCurrent); }

bool FileStream::seek(uint32_t p) {
    return sys::setFilePointer(file, int32_t(p), sys::fileBegin) != sys::invalidSetFilePointer;
}

uint32_t FileStream::length() { return sys::fileSize(file); }

uint32_t FileStream::readAt(int32_t offset, int32_t origin, uint8_t* target, uint32_t size, uint32_t* count) {
    ScopedLock lock(mutex);  // read takes it again on this thread
    const uint32_t saved = position();
    sys::setFilePointer(file, offset, uint32_t(origin));
    *count = read(target, size, 0);
    seek(saved);
    return resultOk;
}

}  // namespace qw
