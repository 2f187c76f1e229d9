// The ID3v1 tag: parsing 128 bytes, and reading, saving and wiping the tag
// of real files in the temporary folder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "tag/GenreTable.h"
#include "tag/Id3v1Tag.h"

namespace qw {
namespace {

namespace fs = std::filesystem;

using Bytes = std::string;

// A 128-byte tag: each text padded with spaces to its width.
Bytes makeTag(const Bytes& title, const Bytes& artist, const Bytes& album, const Bytes& year, const Bytes& comment,
              uint8_t genre, const char* identifier = "TAG") {
    auto field = [](Bytes text, size_t width) {
        text.resize(width, ' ');
        return text;
    };
    Bytes tag = Bytes(identifier, 3) + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4) +
                field(comment, 30);
    tag += static_cast<char>(genre);
    return tag;
}

Bytes audio(size_t length) {
    Bytes bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
    return bytes;
}

class TagFile {
public:
    explicit TagFile(const Bytes& content) {
        static std::atomic<int> counter{0};
        path = (fs::temp_directory_path() / ("qw_tag_" + std::to_string(counter++) + "_" + std::to_string(getpid())))
                   .string();
        std::ofstream(path, std::ios::binary) << content;
    }
    ~TagFile() {
        if (file != sys::invalidFile()) sys::closeFile(file);
        std::error_code ignored;
        fs::remove(path, ignored);
    }
    sys::Handle open(sys::FileAccess access) {
        if (file != sys::invalidFile()) sys::closeFile(file);
        file = sys::openFile(path.c_str(), access);
        return file;
    }
    void close() {
        if (file != sys::invalidFile()) sys::closeFile(file);
        file = sys::invalidFile();
    }
    Bytes content() const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    std::string path;
    sys::Handle file = sys::invalidFile();
};

TagRecord recordOf(const char* title, const char* artist, const char* album, const char* year, const char* comment,
                   int32_t genre) {
    TagRecord record{};
    std::strncpy(record.title, title, sizeof(record.title) - 1);
    std::strncpy(record.artist, artist, sizeof(record.artist) - 1);
    std::strncpy(record.album, album, sizeof(record.album) - 1);
    std::strncpy(record.year, year, sizeof(record.year) - 1);
    std::strncpy(record.comment, comment, sizeof(record.comment) - 1);
    record.genre = genre;
    return record;
}

TEST(Id3v1Tag, ParsesFieldsAndTrimsTheirPadding) {
    Bytes bytes = makeTag("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123", "abc", Bytes(30, '\0'), "1998", "", 17, "tAg");
    bytes.replace(97, 10, Bytes("a b  \0xy  ", 10));  // spaces before a zero stay
    TagRecord record{};
    Id3v1Tag tag;
    ASSERT_EQ(tag.parseTag(reinterpret_cast<const uint8_t*>(bytes.data()), &record), 1);
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
    ASSERT_EQ(tag.parseTag(reinterpret_cast<const uint8_t*>(bytes.data()), &record), 1);
    EXPECT_EQ(record.present, 0u);
    EXPECT_STREQ(record.title, "kept");
}

TEST(Id3v1Tag, GenreBeyondTheTableReadsDifferentlyInEachReader) {
    Id3v1Tag tag;
    for (uint8_t genre : {uint8_t{147}, uint8_t{255}}) {
        Bytes bytes = makeTag("t", "a", "b", "2000", "c", genre);
        TagRecord parsed{};
        tag.parseTag(reinterpret_cast<const uint8_t*>(bytes.data()), &parsed);
        EXPECT_EQ(parsed.genre, 147);
        EXPECT_STREQ(parsed.genreName, "Synthpop");

        TagFile file(audio(500) + bytes);
        TagRecord read{};
        ASSERT_EQ(tag.readTagFromFile(file.open(sys::FileAccess::read), &read), 1);
        EXPECT_EQ(read.present, 1u);
        EXPECT_EQ(read.genre, genre == 147 ? 147 : 0);
        EXPECT_STREQ(read.genreName, genre == 147 ? "Synthpop" : "Blues");
    }
}

TEST(Id3v1Tag, ReadFromFilePutsThePositionBack) {
    Id3v1Tag tag;
    TagFile tagged(audio(300) + makeTag("Title", "Artist", "Album", "2001", "Comment", 8, "tag"));
    sys::Handle file = tagged.open(sys::FileAccess::read);
    ASSERT_NE(file, sys::invalidFile());
    sys::setFilePointer(file, 10, sys::fileBegin);
    TagRecord record{};
    ASSERT_EQ(tag.readTagFromFile(file, &record), 1);
    EXPECT_EQ(record.present, 1u);
    EXPECT_STREQ(record.title, "Title");
    EXPECT_STREQ(record.artist, "Artist");
    EXPECT_STREQ(record.album, "Album");
    EXPECT_STREQ(record.year, "2001");
    EXPECT_STREQ(record.comment, "Comment");
    EXPECT_STREQ(record.genreName, "Jazz");
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 10u);

    TagFile plain(audio(300));
    file = plain.open(sys::FileAccess::read);
    sys::setFilePointer(file, 20, sys::fileBegin);
    ASSERT_EQ(tag.readTagFromFile(file, &record), 1);
    EXPECT_EQ(record.present, 0u);
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 20u);
}

TEST(Id3v1Tag, SaveLeavesExactlyOneTagAtTheEnd) {
    Id3v1Tag tag;
    const Bytes body = audio(200);
    TagFile file(body);
    TagRecord record = recordOf("Edit Me!", "Edit Me!", "", "1998", "012345678901234567890123456789", 146);
    ASSERT_EQ(tag.saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
    file.close();
    EXPECT_EQ(file.content(),
              body + makeTag("Edit Me!", "Edit Me!", "", "1998", "012345678901234567890123456789", 146));

    // Saving again replaces the tag; an out-of-range genre is stored as 0.
    record = recordOf("Second", "", "", "99", "", -1);
    ASSERT_EQ(tag.saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
    record.genre = 148;
    ASSERT_EQ(tag.saveTag(file.open(sys::FileAccess::readWrite), &record), 1);
    file.close();
    EXPECT_EQ(file.content(), body + makeTag("Second", "", "", "99", "", 0));

    // A tag whose identifier is in lower case is replaced like any other.
    TagFile lower(body + makeTag("old", "old", "old", "1990", "old", 3, "tag"));
    record = recordOf("new", "", "", "", "", 5);
    ASSERT_EQ(tag.saveTag(lower.open(sys::FileAccess::readWrite), &record), 1);
    lower.close();
    EXPECT_EQ(lower.content(), body + makeTag("new", "", "", "", "", 5));
}

TEST(Id3v1Tag, WipeRemovesATagAndNothingElse) {
    Id3v1Tag tag;
    const Bytes body = audio(300);
    TagFile plain(body);
    EXPECT_EQ(tag.wipeTag(plain.open(sys::FileAccess::readWrite)), 1);
    plain.close();
    EXPECT_EQ(plain.content(), body);

    TagFile tagged(body + makeTag("t", "a", "b", "y", "c", 1, "Tag"));
    EXPECT_EQ(tag.wipeTag(tagged.open(sys::FileAccess::readWrite)), 1);
    tagged.close();
    EXPECT_EQ(tagged.content(), body);
}

TEST(Id3v1Tag, ShortFilesAndReadOnlyHandlesAreLeftAlone) {
    Id3v1Tag tag;
    TagRecord record = recordOf("t", "a", "b", "2000", "c", 2);

    const Bytes shortBody = audio(100);
    TagFile shortFile(shortBody);
    EXPECT_EQ(tag.saveTag(shortFile.open(sys::FileAccess::readWrite), &record), 0);
    EXPECT_EQ(tag.wipeTag(shortFile.open(sys::FileAccess::readWrite)), 0);
    shortFile.close();
    EXPECT_EQ(shortFile.content(), shortBody);

    const Bytes plainBody = audio(300);
    const Bytes taggedBody = audio(300) + makeTag("old", "", "", "", "", 4);
    TagFile plain(plainBody);
    TagFile tagged(taggedBody);
    EXPECT_EQ(tag.saveTag(plain.open(sys::FileAccess::read), &record), 0);
    EXPECT_EQ(tag.saveTag(tagged.open(sys::FileAccess::read), &record), 0);
    EXPECT_EQ(tag.wipeTag(tagged.open(sys::FileAccess::read)), 0);
    plain.close();
    tagged.close();
    EXPECT_EQ(plain.content(), plainBody);
    EXPECT_EQ(tagged.content(), taggedBody);
}

#ifdef __linux__
TEST(Id3v1Tag, ImmutableFileCannotBeOpenedForSaving) {
    const Bytes body = audio(300) + makeTag("fixed", "", "", "", "", 0);
    TagFile file(body);
    const std::string quoted = "'" + file.path + "'";
    if (std::system(("chattr +i " + quoted + " 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "the immutable attribute is not available here";
    }
    // Whatever happens below, the attribute goes again so the file can be removed.
    struct Unfreeze {
        std::string command;
        ~Unfreeze() { (void)std::system(command.c_str()); }
    } unfreeze{"chattr -i " + quoted + " 2>/dev/null"};

    EXPECT_EQ(file.open(sys::FileAccess::readWrite), sys::invalidFile());
    TagRecord record{};
    ASSERT_NE(file.open(sys::FileAccess::read), sys::invalidFile());
    EXPECT_EQ(Id3v1Tag().readTagFromFile(file.file, &record), 1);
    EXPECT_STREQ(record.title, "fixed");
    file.close();
    EXPECT_EQ(file.content(), body);
}
#endif

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
    TagRecord record{};
    for (int32_t i = 0; i < genreCount; ++i) {
        EXPECT_LT(std::strlen(genreNames[i]), sizeof(record.genreName)) << i;
        EXPECT_GT(std::strlen(genreNames[i]), 0u) << i;
    }
}

}  // namespace
}  // namespace qw
