#include "tag/Id3v1Tag.h"

#include <cstring>

#include "tag/GenreTable.h"

namespace qw {

namespace {

// Layout of the tag: offset and width of each text field.
constexpr uint32_t titleOffset = 3;
constexpr uint32_t artistOffset = 33;
constexpr uint32_t albumOffset = 63;
constexpr uint32_t yearOffset = 93;
constexpr uint32_t commentOffset = 97;
constexpr uint32_t genreOffset = 127;
constexpr uint32_t textWidth = 30;
constexpr uint32_t yearWidth = 4;

// The identifier "TAG", in any case.
bool isTag(const uint8_t* bytes) {
    static const char identifier[] = "TAG";
    for (int i = 0; i < 3; ++i) {
        uint8_t c = bytes[i];
        if (c >= 'a' && c <= 'z') c = static_cast<uint8_t>(c - 'a' + 'A');
        if (c != static_cast<uint8_t>(identifier[i])) return false;
    }
    return true;
}

// Copies a field of the given width into a record field of at least
// width + 1 bytes and drops the spaces that pad it on the right.  A zero
// inside the field ends the text there.
template <size_t N>
void extractField(const uint8_t* bytes, uint32_t offset, uint32_t width, char (&field)[N]) {
    static_assert(N > 4, "record fields hold their width and a terminating zero");
    std::memset(field, 0, N);
    std::memcpy(field, bytes + offset, width);
    for (uint32_t i = width; i > 0 && field[i - 1] == ' '; --i) field[i - 1] = '\0';
}

int copyGenreName(int32_t index, char* buffer, uint32_t size) {
    if (index < 0 || index >= genreCount) return 0;
    if (buffer == nullptr || size == 0) return 1;
    size_t length = strnlen(genreNames[index], size - 1);
    std::memcpy(buffer, genreNames[index], length);
    buffer[length] = '\0';
    return 1;
}

// Fills the record from a tag; a genre byte beyond the table reads as
// unknownGenre.
void fillRecord(const uint8_t* bytes, int32_t unknownGenre, TagRecord* record) {
    extractField(bytes, titleOffset, textWidth, record->title);
    extractField(bytes, artistOffset, textWidth, record->artist);
    extractField(bytes, albumOffset, textWidth, record->album);
    extractField(bytes, yearOffset, yearWidth, record->year);
    extractField(bytes, commentOffset, textWidth, record->comment);
    record->genre = bytes[genreOffset] < genreCount ? bytes[genreOffset] : unknownGenre;
    copyGenreName(record->genre, record->genreName, sizeof(record->genreName));
    record->present = 1;
}

// Writes a record field's text, at most width characters, padded with spaces.
void storeField(uint8_t* bytes, uint32_t offset, uint32_t width, const char* text) {
    size_t length = strnlen(text, width);
    std::memcpy(bytes + offset, text, length);
    std::memset(bytes + offset + length, ' ', width - length);
}

// A file's last 128 bytes, read while the file's advisory lock is held, and
// the lock itself until the block ends: saves and wipes of one file, from any
// process, take their turns, so none of them decides on a tag another is
// about to change.  A file whose end lies beyond the file functions' 32-bit
// positions is not read: a tag appended there could not be placed.
class LockedEnd {
public:
    explicit LockedEnd(sys::Handle file) : file(file), held(sys::lockFile(file)) {
        if (!held || sys::setFilePointer(file, 0, sys::fileEnd) == sys::invalidSetFilePointer) return;
        start = sys::setFilePointer(file, -static_cast<int32_t>(Id3v1Tag::tagSize), sys::fileEnd);
        uint32_t count = 0;
        read = start != sys::invalidSetFilePointer && sys::readFile(file, bytes, Id3v1Tag::tagSize, &count);
        tagged = read && count == Id3v1Tag::tagSize && isTag(bytes);
    }
    ~LockedEnd() {
        if (held) sys::unlockFile(file);
    }
    LockedEnd(const LockedEnd&) = delete;
    LockedEnd& operator=(const LockedEnd&) = delete;

    // False when the lock could not be had, the file is shorter than a tag
    // or too long, or a call failed.
    bool isRead() const { return read; }

    uint8_t bytes[Id3v1Tag::tagSize] = {};
    bool tagged = false;  // the bytes are a tag
    uint32_t start = 0;   // where they begin

private:
    sys::Handle file;
    bool held;
    bool read = false;
};

// Cuts the file off at position; false when a call failed.
bool cutAt(sys::Handle file, uint32_t position) {
    return sys::setFilePointer(file, static_cast<int32_t>(position), sys::fileBegin) != sys::invalidSetFilePointer &&
           sys::setEndOfFile(file);
}

// Writes bytes at a position; true when all of them went out.  written tells
// how many did.
bool writeAt(sys::Handle file, uint32_t position, const uint8_t* bytes, uint32_t size, uint32_t* written) {
    *written = 0;
    if (sys::setFilePointer(file, static_cast<int32_t>(position), sys::fileBegin) == sys::invalidSetFilePointer) {
        return false;
    }
    return sys::writeFile(file, bytes, size, written) && *written == size;
}

}  // namespace

int Id3v1Tag::parseTag(const uint8_t* bytes, TagRecord* record) const {
    if (isTag(bytes)) {
        fillRecord(bytes, genreCount - 1, record);
    } else {
        record->present = 0;
    }
    return 1;
}

int Id3v1Tag::readTagFromFile(sys::Handle file, TagRecord* record) const {
    record->present = 0;
    uint32_t position = sys::setFilePointer(file, 0, sys::fileCurrent);
    // A file shorter than a tag leaves the position where it was, and the read
    // then takes whatever lies there.
    sys::setFilePointer(file, -static_cast<int32_t>(tagSize), sys::fileEnd);
    uint8_t tag[tagSize] = {};
    uint32_t count = 0;
    if (!sys::readFile(file, tag, tagSize, &count)) return 0;
    if (isTag(tag)) fillRecord(tag, 0, record);
    sys::setFilePointer(file, static_cast<int32_t>(position), sys::fileBegin);
    return 1;
}

int Id3v1Tag::saveTag(sys::Handle file, const TagRecord* record) const {
    uint8_t tag[tagSize];
    std::memcpy(tag, "TAG", 3);
    storeField(tag, titleOffset, textWidth, record->title);
    storeField(tag, artistOffset, textWidth, record->artist);
    storeField(tag, albumOffset, textWidth, record->album);
    storeField(tag, yearOffset, yearWidth, record->year);
    storeField(tag, commentOffset, textWidth, record->comment);
    // An index outside the table (a list with nothing chosen gives -1) is
    // stored as the first genre.
    tag[genreOffset] = record->genre >= 0 && record->genre < genreCount ? static_cast<uint8_t>(record->genre) : 0;

    const LockedEnd end(file);
    if (!end.isRead()) return 0;
    uint32_t written = 0;
    if (end.tagged) {
        // The new tag goes over the old one, so the file never lacks a tag.
        // When the write stops part-way, what it changed is put back.
        if (writeAt(file, end.start, tag, tagSize, &written)) return 1;
        writeAt(file, end.start, end.bytes, written, &written);
        return 0;
    }
    // Appended; when the write stops part-way the file is cut back to its
    // old length, so no piece of a tag stays behind.
    const uint32_t length = end.start + tagSize;
    if (writeAt(file, length, tag, tagSize, &written)) return 1;
    cutAt(file, length);
    return 0;
}

int Id3v1Tag::wipeTag(sys::Handle file) const {
    const LockedEnd end(file);
    if (!end.isRead()) return 0;
    if (!end.tagged) return 1;  // nothing to remove
    return cutAt(file, end.start) ? 1 : 0;
}

int Id3v1Tag::genreName(int32_t index, char* buffer, uint32_t size) const { return copyGenreName(index, buffer, size); }

}  // namespace qw
