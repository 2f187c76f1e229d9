// Files over POSIX descriptors, with the Windows file-handle behaviour the
// rest of the system relies on: existing files only, a file pointer that
// refuses to move before the start, 32-bit positions and sizes that fail
// where the true value does not fit.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>  // P_tmpdir

#include "platform/platform.h"

namespace qw::sys {

namespace {

// A handle carries its descriptor plus one, so that no open file is ever the
// null handle and the failure value (all bits set) is never a descriptor.
Handle toHandle(int descriptor) { return reinterpret_cast<Handle>(static_cast<intptr_t>(descriptor) + 1); }

int toDescriptor(Handle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1); }

}  // namespace

Handle invalidFile() { return reinterpret_cast<Handle>(static_cast<intptr_t>(-1)); }

Handle openFile(const char* path, FileAccess access) {
    if (path == nullptr || *path == '\0') return invalidFile();
    int flags = (access == FileAccess::readWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    int descriptor;
    do {
        descriptor = open(path, flags);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) return invalidFile();
    // Folders open read-only here but are not files to read.
    struct stat info;
    if (fstat(descriptor, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(descriptor);
        return invalidFile();
    }
    return toHandle(descriptor);
}

bool readFile(Handle file, void* buffer, uint32_t size, uint32_t* count) {
    if (count != nullptr) *count = 0;
    int descriptor = toDescriptor(file);
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    // A disk read delivers everything asked for unless the file ends first.
    while (done < size) {
        ssize_t got = read(descriptor, out + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        done += static_cast<uint32_t>(got);
    }
    if (size == 0 && fcntl(descriptor, F_GETFL) < 0) return false;
    if (count != nullptr) *count = done;
    return true;
}

bool writeFile(Handle file, const void* buffer, uint32_t size, uint32_t* count) {
    if (count != nullptr) *count = 0;
    int descriptor = toDescriptor(file);
    const auto* in = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        ssize_t put = write(descriptor, in + done, size - done);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (count != nullptr) *count = done;
            return false;
        }
        done += static_cast<uint32_t>(put);
    }
    if (size == 0 && fcntl(descriptor, F_GETFL) < 0) return false;
    if (count != nullptr) *count = done;
    return true;
}

uint32_t setFilePointer(Handle file, int32_t distance, uint32_t origin) {
    int descriptor = toDescriptor(file);
    off_t base;
    switch (origin) {
        case fileBegin:
            base = 0;
            break;
        case fileCurrent:
            base = lseek(descriptor, 0, SEEK_CUR);
            break;
        case fileEnd: {
            struct stat info;
            base = fstat(descriptor, &info) == 0 ? info.st_size : -1;
            break;
        }
        default:
            return invalidSetFilePointer;
    }
    if (base < 0) return invalidSetFilePointer;
    // A move before the start, or to a position the 32-bit answer cannot
    // hold, fails and leaves the position where it was.
    const int64_t target = int64_t(base) + distance;
    if (target < 0 || target > int64_t(UINT32_MAX)) return invalidSetFilePointer;
    if (lseek(descriptor, off_t(target), SEEK_SET) < 0) return invalidSetFilePointer;
    return static_cast<uint32_t>(target);
}

bool setEndOfFile(Handle file) {
    int descriptor = toDescriptor(file);
    off_t position = lseek(descriptor, 0, SEEK_CUR);
    if (position < 0) return false;
    int result;
    do {
        result = ftruncate(descriptor, position);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// flock locks belong to the open file, not to the process, so two handles
// of one process exclude each other as handles of two processes do.
bool lockFile(Handle file) {
    int result;
    do {
        result = flock(toDescriptor(file), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool unlockFile(Handle file) { return flock(toDescriptor(file), LOCK_UN) == 0; }

uint32_t fileSize(Handle file) {
    struct stat info;
    if (fstat(toDescriptor(file), &info) != 0 || uint64_t(info.st_size) > UINT32_MAX) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(info.st_size);
}

// Every file's edit lock is one byte of a single lock file in the system's
// folder (not the one TMPDIR names, so that every process meets there), at a
// place made from the file's device and inode: every name of a file reaches
// it, and the lock file stays empty.  These are locks of the open lock file,
// not of the process, so closing another descriptor does not drop them, and
// they are on another file than any lockFile.  Two files that share a place
// only take their turns needlessly.
EditLock lockEdits(const char* path, bool wait, Handle* lock) {
    *lock = invalidFile();
    struct stat file;
    if (path == nullptr || stat(path, &file) != 0) return EditLock::failed;
    static const char name[] = P_tmpdir "/quillwave-edit.lock";
    // A sticky folder may refuse O_CREAT on another user's file: it is made
    // only where none is.
    const int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
    int descriptor = open(name, flags);
    if (descriptor < 0 && errno == ENOENT) {
        descriptor = open(name, flags | O_CREAT | O_EXCL, 0666);
        if (descriptor >= 0) {
            fchmod(descriptor, 0666);  // every user's editors meet here, whatever the umask
        } else if (errno == EEXIST) {
            descriptor = open(name, flags);
        }
    }
    if (descriptor < 0) return EditLock::failed;
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = off_t((uint64_t(file.st_dev) * 0x9E3779B97F4A7C15u ^ uint64_t(file.st_ino)) >> 1);
    range.l_len = 1;
    int result;
    do {
        result = fcntl(descriptor, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EAGAIN || errno == EACCES;
        close(descriptor);
        return busy ? EditLock::busy : EditLock::failed;
    }
    *lock = toHandle(descriptor);
    return EditLock::held;
}

bool closeFile(Handle file) {
    if (file == invalidFile() || file == nullptr) return false;
    return close(toDescriptor(file)) == 0;
}

}  // namespace qw::sys
