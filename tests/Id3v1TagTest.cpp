// The ID3v1 tag: parsing 128 bytes, and reading, saving and wiping it in real files.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "tag/GenreTable.h"
#include "tag/Id3v1Tag.h"
#if !defined(_WIN32)
#include "tests/support/FileSizeLimit.h"  // file-size limits are a POSIX facility
#endif
#include "tests/support/TempFile.h"

namespace qw {
namespace {

using Bytes = std::string;

// A 128-byte tag: each text padded with spaces to its width.
Bytes makeTag(Bytes title, Bytes artist, Bytes album, Bytes year, Bytes comment, uint8_t genre,
              const char* identifier = "TAG") {
    title.resize(30, ' '), artist.resize(30, ' '), album.resize(30, ' '), year.resize(4, ' '), comment.resize(30, ' ');
    return identifier + title + artist + album + year + comment + char(genre);
}

TagRecord parse(const Bytes& tag, TagRecord record = {}) {
    Id3v1Tag().parseTag(reinterpret_cast<const uint8_t*>(tag.data()), &record);
    return record;
}

// The texts of a record, one after another: title|artist|album|year|comment|genre.
Bytes fields(const TagRecord& r) {
    return Bytes(r.title) + "|" + r.artist + "|" + r.album + "|" + r.year + "|" + r.comment + "|" + r.genreName;
}

// A file holding content; open() closes the previous handle first.
struct TagFile : test::TempFile {
    explicit TagFile(const Bytes& content) : TempFile("qw_tag_") { write(content); }
    ~TagFile() { open(sys::FileAccess::read, false); }
    sys::Handle open(sys::FileAccess access, bool reopen = true) {
        if (file != sys::invalidFile()) sys::closeFile(file);
        return file = reopen ? sys::openFile(c_str(), access) : sys::invalidFile();
    }
    Bytes closeAndRead() { return open(sys::FileAccess::read, false), read(); }
    sys::Handle file = sys::invalidFile();
};

TEST(Id3v1Tag, ParsesAndReadsTagsTrimmingTheirPadding) {
    Bytes bytes = makeTag("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "abc", Bytes(30, '\0'), "1998", "", 17, "tAg");
    bytes.replace(97, 10, Bytes("a b  \0xy  ", 10));  // spaces before a zero stay
    TagRecord record = parse(bytes);
    EXPECT_EQ(fields(record) + char('0' + record.present), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123|abc||1998|a b  |Rock1");
    bytes[0] = 'X';  // bytes that are no tag change only the present flag
    const TagRecord kept = parse(bytes, record);
    EXPECT_EQ(fields(kept) + char('0' + kept.present), fields(record) + '0');

    // Read from a file, whose position is put back.  A genre byte beyond the table: the last entry when parsed, the
    // first when read.
    const Bytes tag = makeTag("Title", "Artist", "Album", "2001", "Comment", 255, "tag");
    EXPECT_EQ(parse(tag).genre, 147);
    TagFile tagged(Bytes(300, 'Z') + tag), plain(Bytes(300, 'Z'));
    sys::Handle file = tagged.open(sys::FileAccess::read);
    sys::setFilePointer(file, 10, sys::fileBegin);
    ASSERT_EQ(Id3v1Tag().readTagFromFile(file, &record), 1);
    EXPECT_EQ(fields(record), "Title|Artist|Album|2001|Comment|Blues");
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 10u);
    ASSERT_EQ(Id3v1Tag().readTagFromFile(plain.open(sys::FileAccess::read), &record), 1);
    EXPECT_EQ(record.present, 0u);
}

// Saving replaces a tag, whatever the case of its identifier; an out-of-range genre is stored as the first one.
TEST(Id3v1Tag, SaveAndWipeLeaveAtMostOneTagAtTheEndOfWritableFiles) {
    const Bytes body = Bytes(200, 'Z');
    const Bytes saved = makeTag("Edit Me!", "", "", "1998", "012345678901234567890123456789", 0);
    TagFile file(body + makeTag("old", "old", "old", "1990", "old", 3, "tag"));
    TagRecord record = parse(saved);
    for (int32_t genre : {-1, 148}) {
        record.genre = genre;
        ASSERT_EQ(Id3v1Tag().saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
        EXPECT_EQ(file.closeAndRead(), body + saved) << genre;
    }

    // Short files and read-only handles are left alone; a file without a tag needs no wiping, whatever the handle.
    for (const auto& [content, access] :
         {std::pair{Bytes(100, 'Z'), sys::FileAccess::readWrite},
          {Bytes(300, 'Z'), sys::FileAccess::read},
          {Bytes(300, 'Z') + makeTag("old", "", "", "", "", 4), sys::FileAccess::read}}) {
        TagFile other(content);
        EXPECT_EQ(Id3v1Tag().saveTag(other.open(access), &record), 0);
        EXPECT_EQ(Id3v1Tag().wipeTag(other.open(access)), content == Bytes(300, 'Z') ? 1 : 0);
        EXPECT_EQ(other.closeAndRead(), content);
    }
}

// A file that ends beyond 32-bit positions is left whole: a position cut to 32 bits would point into its audio.
TEST(Id3v1Tag, SaveAndWipeLeaveFilesBeyondFourGigabytesAlone) {
    const Bytes head(2048, 'Z'), old = makeTag("old", "", "", "", "", 3);
    const TagRecord record = parse(makeTag("new", "", "", "", "", 9));
    for (const uint64_t beyond : {128, 100, 1000}) {
        TagFile file(head);
        const Bytes tail = beyond == 128 ? old : Bytes(128, 'Z');
        file.extend((uint64_t(1) << 32) + beyond, tail);
        EXPECT_EQ(Id3v1Tag().saveTag(file.open(sys::FileAccess::readWrite), &record), 0) << beyond;
        EXPECT_EQ(Id3v1Tag().wipeTag(file.open(sys::FileAccess::readWrite)), 0) << beyond;
        EXPECT_EQ(file.readEnds(head.size()), head + tail) << beyond;  // a file cut short reads as zeros
    }
}

#if !defined(_WIN32)
// A save that cannot write all of its tag (the file may grow no further) leaves
// the file as it was: the old tag over which it wrote, or no tag and no piece of one.
TEST(Id3v1Tag, SaveThatStopsPartWayLeavesTheFileAsItWas) {
    const Bytes body = Bytes(300, 'Z');
    const TagRecord record = parse(makeTag("new", "new", "new", "2024", "new", 9));
    for (const Bytes& old : {makeTag("old", "old", "old", "1990", "old", 3), Bytes()}) {
        TagFile file(body + old);
        // Over a tag the last byte cannot be written; appended, only 50 bytes can.
        const uint64_t limit = old.empty() ? body.size() + 50 : body.size() + old.size() - 1;
        sys::Handle handle = file.open(sys::FileAccess::readWrite);
        EXPECT_EQ(test::withFileSizeLimit(limit, [&] { return Id3v1Tag().saveTag(handle, &record); }), 0);
        EXPECT_EQ(file.closeAndRead(), body + old) << old.size();
    }
}

#endif

// A save takes the file's lock: while another handle holds it (another save, perhaps in another process), it waits.
TEST(Id3v1Tag, SaveWaitsForTheFileLock) {
    TagFile file(Bytes(300, 'Z'));
    const TagRecord record = parse(makeTag("new", "", "", "", "", 0));
    sys::Handle holder = sys::openFile(file.c_str(), sys::FileAccess::read);
    ASSERT_TRUE(sys::lockFile(holder));
    std::atomic<int> saved{-1};
    std::thread saver([&] { saved = Id3v1Tag().saveTag(file.open(sys::FileAccess::readWrite), &record); });
    sys::sleepMs(50);
    EXPECT_EQ(saved, -1) << "saved while another handle held the lock";
    sys::unlockFile(holder);
    saver.join();
    EXPECT_EQ(saved, 1);
    sys::closeFile(holder);
}

TEST(Id3v1Tag, GenreNamesFitTheRecordAndTheCallersBuffer) {
    char buffer[40] = "#####";
    EXPECT_EQ(Id3v1Tag().genreName(148, buffer, 40) + Id3v1Tag().genreName(-1, buffer, 40), 0);
    EXPECT_EQ(Id3v1Tag().genreName(1, buffer, 4), 1);
    EXPECT_EQ(Bytes(buffer, 5), Bytes("Cla\0#", 5));  // an unknown index wrote nothing; a name is cut to fit
    for (int32_t i = 0; i < genreCount; ++i) {
        EXPECT_NE(genreNames[i][0], '\0') << i;
        EXPECT_LT(std::strlen(genreNames[i]), sizeof(TagRecord::genreName)) << i << ": " << genreNames[i];
    }
}

}  // namespace
}  // namespace qw
