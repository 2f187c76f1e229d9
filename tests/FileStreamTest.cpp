// The file-backed stream: where the stream starts, and reads through the read-ahead buffer.
#include "recorder/FileStream.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/TempFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes whose value tells their offset apart over a few hundred bytes.
Bytes pattern(size_t size, uint32_t seed = 1) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t((i * 7 + seed + i / 251) & 0xFF);
    return b;
}

// An ID3v2 tag of the given version and body size, the body full of frame sync words; flags 0x10 adds the footer.
Bytes id3v2(uint8_t version, uint32_t body, uint8_t flags = 0) {
    Bytes tag = {'I', 'D', '3', version, 0, flags};
    for (int shift = 21; shift >= 0; shift -= 7) tag.push_back(uint8_t(body >> shift & 0x7F));  // sync-safe size
    for (uint32_t i = 0; i < body; ++i) tag.push_back(i % 4 == 0 ? 0xFF : i % 4 == 1 ? 0xFB : 0x90);
    if (version == 4 && (flags & 0x10)) tag.insert(tag.end(), {'3', 'D', 'I', 4, 0, flags, 0, 0, 0, 0});
    return tag;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(FileStream, StreamStartsWhereTheAudioStarts) {
    const Bytes audio = pattern(5000);
    // Bytes before the audio, how many of them are tags.
    const std::tuple<const char*, Bytes, size_t> cases[] = {
        {"none", {}, 0},
        {"2.3, 2.4 with footer and 2.2 in a row", join({id3v2(3, 1000), id3v2(4, 200, 0x10), id3v2(2, 300)}), 1540},
        {"version 5 is no tag", id3v2(5, 0), 0},
    };
    for (const auto& [name, prefix, tagBytes] : cases) {
        const Bytes file = join({prefix, audio});
        const Bytes stream = Bytes(file.begin() + long(tagBytes), file.end());
        const qw::test::TempFile path("quillwave-filestream-");
        path.write(std::string(file.begin(), file.end()));
        qw::FileStream s;
        ASSERT_EQ(s.open(std::wstring(path.path.begin(), path.path.end()).c_str()), qw::resultOk) << name;
        EXPECT_EQ(s.length(), stream.size()) << name;
        EXPECT_EQ(s.position(), 0u) << name;
        ASSERT_TRUE(s.seek(100)) << name;
        bool ok = false;
        EXPECT_EQ(s.readByte(&ok), stream[100]) << name;
        uint32_t count = 0;
        Bytes at(8), end(128);
        s.readAt(0, qw::originStart, at.data(), 8, &count);
        EXPECT_EQ(at, Bytes(stream.begin(), stream.begin() + 8)) << name;
        s.readAt(-128, qw::originEnd, end.data(), 128, &count);
        EXPECT_EQ(end, Bytes(file.end() - 128, file.end())) << name;
        EXPECT_EQ(s.position(), 101u) << name;  // readAt puts the position back
        s.close();
    }
}

// Every operation answers as if each read went to the file.
TEST(FileStream, ReadAheadIsInvisible) {
    const Bytes file = pattern(100000, 3);
    const qw::test::TempFile path("quillwave-filestream-");
    path.write(std::string(file.begin(), file.end()));
    qw::FileStream s;
    ASSERT_EQ(s.open(std::wstring(path.path.begin(), path.path.end()).c_str()), qw::resultOk);
    bool ok = false;
    for (uint32_t i = 0; i < 10; ++i) EXPECT_EQ(s.readByte(&ok), file[i]) << i;
    EXPECT_EQ(s.position(), 10u);
    ASSERT_TRUE(s.fill(40));
    EXPECT_EQ(s.getBits(8), file[10]);
    EXPECT_EQ(s.position(), 50u);
    Bytes big(40000);  // larger than the read-ahead
    EXPECT_EQ(s.read(big.data(), 40000, 0), 40000u);
    EXPECT_EQ(big, Bytes(file.begin() + 50, file.begin() + 40050));
    EXPECT_EQ(s.readByte(&ok), file[40050]);
    uint32_t count = 0;
    uint8_t two[2] = {};
    s.readAt(-2, qw::originCurrent, two, 2, &count);  // the two bytes before the position
    EXPECT_EQ(two[0], file[40049]);
    EXPECT_EQ(s.readByte(&ok), file[40051]);
    EXPECT_FALSE(s.seek(0x80000000u));  // beyond what a file move reaches: the position stays
    EXPECT_EQ(s.position(), 40052u);
    ASSERT_TRUE(s.seek(99990));
    EXPECT_FALSE(s.fill(20));  // a short load sets the error flag
    EXPECT_EQ(s.isError(), 1);
    EXPECT_EQ(s.position(), 100000u);
    EXPECT_EQ(s.readByte(&ok), 0);
    EXPECT_FALSE(ok);
    ASSERT_TRUE(s.rewind());
    EXPECT_EQ(s.isError(), 0);
    EXPECT_EQ(s.readByte(&ok), file[0]);
    s.close();
}

}  // namespace
