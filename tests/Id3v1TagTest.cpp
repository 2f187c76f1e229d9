// The ID3v1 tag: parsing 128 bytes, and reading, saving and wiping the tag
// of real files in the temporary folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tag/GenreTable.h"
#include "tag/Id3v1Tag.h"
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

TagRecord parse(const Bytes& tag) {
    TagRecord record{};
    EXPECT_EQ(Id3v1Tag().parseTag(reinterpret_cast<const uint8_t*>(tag.data()), &record), 1);
    return record;
}

Bytes audio(size_t length) {
    Bytes bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = char(i * 7 + 1);
    return bytes;
}

struct TagFile : test::TempFile {
    explicit TagFile(const Bytes& content) : TempFile("qw_tag_") { write(content); }
    ~TagFile() { close(); }
    sys::Handle open(sys::FileAccess access) {
        close();
        return file = sys::openFile(c_str(), access);
    }
    void close() {
        if (file != sys::invalidFile()) sys::closeFile(file);
        file = sys::invalidFile();
    }
    sys::Handle file = sys::invalidFile();
};

TEST(Id3v1Tag, ParsesFieldsAndTrimsTheirPadding) {
    Bytes bytes = makeTag("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "abc", Bytes(30, '\0'), "1998", "", 17, "tAg");
    bytes.replace(97, 10, Bytes("a b  \0xy  ", 10));  // spaces before a zero stay
    TagRecord record = parse(bytes);
    EXPECT_EQ(record.present, 1u);
    EXPECT_STREQ(record.title, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");
    EXPECT_STREQ(record.artist, "abc");
    EXPECT_STREQ(record.album, "");
    EXPECT_STREQ(record.year, "1998");
    EXPECT_STREQ(record.comment, "a b  ");
    EXPECT_EQ(record.genre, 17);
    EXPECT_STREQ(record.genreName, "Rock");

    // Bytes that are no tag change only the present flag.
    bytes[0] = 'X';
    std::strcpy(record.title, "kept");
    Id3v1Tag().parseTag(reinterpret_cast<const uint8_t*>(bytes.data()), &record);
    EXPECT_EQ(record.present, 0u);
    EXPECT_STREQ(record.title, "kept");
}

TEST(Id3v1Tag, ReadsFromFilesPuttingThePositionBack) {
    Id3v1Tag tag;
    TagFile tagged(audio(300) + makeTag("Title", "Artist", "Album", "2001", "Comment", 8, "tag"));
    sys::Handle file = tagged.open(sys::FileAccess::read);
    sys::setFilePointer(file, 10, sys::fileBegin);
    TagRecord record{};
    ASSERT_EQ(tag.readTagFromFile(file, &record), 1);
    EXPECT_EQ(record.present, 1u);
    EXPECT_STREQ(record.comment, "Comment");
    EXPECT_STREQ(record.genreName, "Jazz");
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 10u);

    TagFile plain(audio(300));
    ASSERT_EQ(tag.readTagFromFile(plain.open(sys::FileAccess::read), &record), 1);
    EXPECT_EQ(record.present, 0u);

    // A genre byte beyond the table: the last entry when parsed, 0 when read.
    for (uint8_t genre : {uint8_t{147}, uint8_t{255}}) {
        const Bytes bytes = makeTag("t", "a", "b", "2000", "c", genre);
        EXPECT_EQ(parse(bytes).genre, 147);
        EXPECT_STREQ(parse(bytes).genreName, "Synthpop");
        TagFile file(audio(500) + bytes);
        ASSERT_EQ(tag.readTagFromFile(file.open(sys::FileAccess::read), &record), 1);
        EXPECT_EQ(record.genre, genre == 147 ? 147 : 0);
        EXPECT_STREQ(record.genreName, genre == 147 ? "Synthpop" : "Blues");
    }
}

TEST(Id3v1Tag, SaveAndWipeLeaveAtMostOneTagAtTheEnd) {
    Id3v1Tag tag;
    const Bytes body = audio(200);
    const Bytes full = makeTag("Edit Me!", "Edit Me!", "", "1998", "012345678901234567890123456789", 146);
    TagFile file(body);
    TagRecord record = parse(full);
    ASSERT_EQ(tag.saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
    file.close();
    EXPECT_EQ(file.read(), body + full);

    // Saving again replaces the tag (whatever the case of its identifier); an
    // out-of-range genre is stored as 0.
    TagFile lower(body + makeTag("old", "old", "old", "1990", "old", 3, "tag"));
    for (int32_t genre : {-1, 148}) {
        record = parse(makeTag("Second", "", "", "99", "", 0));
        record.genre = genre;
        ASSERT_EQ(tag.saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
        ASSERT_EQ(tag.saveTag(lower.open(sys::FileAccess::readWrite), &record), 1);
    }
    file.close(), lower.close();
    EXPECT_EQ(file.read(), body + makeTag("Second", "", "", "99", "", 0));
    EXPECT_EQ(lower.read(), file.read());

    // Wiping cuts a tag off, and a file without one stays as it is.
    for (int pass = 0; pass < 2; ++pass) EXPECT_EQ(tag.wipeTag(file.open(sys::FileAccess::readWrite)), 1);
    file.close();
    EXPECT_EQ(file.read(), body);
}

TEST(Id3v1Tag, ShortFilesAndReadOnlyHandlesAreLeftAlone) {
    Id3v1Tag tag;
    const TagRecord record = parse(makeTag("t", "a", "b", "2000", "c", 2));
    TagFile shortFile(audio(100));
    EXPECT_EQ(tag.saveTag(shortFile.open(sys::FileAccess::readWrite), &record), 0);
    EXPECT_EQ(tag.wipeTag(shortFile.open(sys::FileAccess::readWrite)), 0);
    shortFile.close();
    EXPECT_EQ(shortFile.read(), audio(100));

    const Bytes taggedBody = audio(300) + makeTag("old", "", "", "", "", 4);
    TagFile plain(audio(300)), tagged(taggedBody);
    EXPECT_EQ(tag.saveTag(plain.open(sys::FileAccess::read), &record), 0);
    EXPECT_EQ(tag.saveTag(tagged.open(sys::FileAccess::read), &record), 0);
    EXPECT_EQ(tag.wipeTag(tagged.open(sys::FileAccess::read)), 0);
    plain.close(), tagged.close();
    EXPECT_EQ(plain.read(), audio(300));
    EXPECT_EQ(tagged.read(), taggedBody);
}

TEST(Id3v1Tag, GenreNamesFitTheRecordAndTheCallersBuffer) {
    Id3v1Tag tag;
    char buffer[40];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(tag.genreName(148, buffer, sizeof(buffer)), 0);
    EXPECT_EQ(tag.genreName(-1, buffer, sizeof(buffer)), 0);
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(tag.genreName(1, buffer, 4), 1);
    EXPECT_STREQ(buffer, "Cla");
    EXPECT_EQ(buffer[4], '#');
    ASSERT_EQ(tag.genreName(133, buffer, sizeof(buffer)), 1);
    EXPECT_STREQ(buffer, "Afro-Punk");
    for (int32_t i = 0; i < genreCount; ++i) {
        EXPECT_TRUE(genreNames[i][0] && std::strlen(genreNames[i]) < sizeof(TagRecord::genreName)) << i;
    }
}

}  // namespace
}  // namespace qw
