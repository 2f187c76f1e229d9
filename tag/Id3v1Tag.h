// Reads, parses, saves and wipes the ID3v1 tag: the last 128 bytes of a file.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "quillwave/quillwave.h"

namespace qw {

class Id3v1Tag {
public:
    static constexpr uint32_t tagSize = 128;

    virtual ~Id3v1Tag() = default;

    // Reads the last 128 bytes of a file opened for reading into the record
    // and puts the file position back.  1 when the file could be read (the
    // record's present flag tells whether it held a tag), 0 when reading failed.
    // A genre byte beyond the table reads as 0.
    int readTagFromFile(sys::Handle file, TagRecord* record) const;

    // Fills the record from 128 bytes; always 1.  When the bytes are not a tag
    // only the present flag changes.  A genre byte beyond the table reads as
    // the table's last entry.
    int parseTag(const uint8_t* bytes, TagRecord* record) const;

    // Writes the record as a tag at the end of a file opened for reading and
    // writing: over the tag already there, or appended.  1 when all 128 bytes
    // went out.  A write that stops part-way is undone, so the file keeps its
    // old tag (or none) and its audio.  Holds the file's lock meanwhile, so
    // saves and wipes of one file take their turns.
    int saveTag(sys::Handle file, const TagRecord* record) const;

    // Cuts the tag off the end of a file opened for reading and writing, under
    // the file's lock.  1 when the file has no tag afterwards, 0 when a file
    // call failed.
    int wipeTag(sys::Handle file) const;

    // Copies the name of a genre, cut to size characters with its terminating
    // zero.  1 for an index of the table, 0 (and nothing copied) otherwise.
    int genreName(int32_t index, char* buffer, uint32_t size) const;
};

}  // namespace qw
