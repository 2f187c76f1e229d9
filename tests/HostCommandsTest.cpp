// The host's info, tag and config commands, run as a user runs them: the built
// program with the built module.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/Vectors.h"

namespace {

struct CommandRun {
    int status = -1;
    std::string out;
    std::string errors;
};

std::string temporary(const std::string& name) { return testing::TempDir() + "quillwave-commands-" + name; }

CommandRun quillwave(const std::string& arguments) {
    // Tests may run side by side: each has files of its own.
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string out = temporary(test + "-stdout.txt");
    const std::string err = temporary(test + "-stderr.txt");
    const std::string build = QW_BUILD_DIR;
    const std::string command =
        build + "/quillwave --plugin " + build + "/SQqw4.sqp " + arguments + " >" + out + " 2>" + err;
    CommandRun run;
    const int raw = std::system(command.c_str());
#if defined(_WIN32)
    run.status = raw;
#else
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    const auto o = qw::test::readBytes(out);
    const auto e = qw::test::readBytes(err);
    // Line ends as the host's platform writes them, compared as plain \n.
    for (uint8_t c : o) {
        if (c != '\r') run.out.push_back(char(c));
    }
    run.errors.assign(e.begin(), e.end());
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string sample() { return std::string(QW_SAMPLES_DIR) + "/sample.mp3"; }

std::string padded(std::string text, size_t width) {
    text.resize(width, ' ');
    return text;
}

}  // namespace

TEST(HostCommands, InfoPrintsSongInformationAndTheDialog) {
    const CommandRun run = quillwave("info " + sample());
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string& o = run.out;
    EXPECT_TRUE(contains(o, "  format:\n    MPEG1\n    Layer3\n    Stereo\n    44100Hz\n")) << o;
    EXPECT_TRUE(contains(o, "  bitrate: 128kb/s\n")) << o;
    EXPECT_TRUE(contains(o, "  path:    " + sample() + "\n")) << o;
    EXPECT_TRUE(contains(o, "  status:  Use Me!\n")) << o;
    const std::string properties =
        "    MPEG Version: MPEG 1\n    Layer: 3\n    SampleRate: 44100\n    BitRate: 128\n"
        "    Mode: Stereo\n    Length: " +
        std::to_string(qw::test::readBytes(sample()).size()) + " Bytes\n";
    EXPECT_TRUE(contains(o, properties)) << o;

    CommandRun bad = quillwave("info /nonexistent/quillwave.mp3");
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(contains(bad.errors, "cannot read")) << bad.errors;
    const std::string garbage = temporary("garbage.mp3");
    writeBytes(garbage, std::vector<uint8_t>(5000, 0x55));
    bad = quillwave("info " + garbage);
    EXPECT_NE(bad.status, 0);
    EXPECT_TRUE(contains(bad.errors, "no MPEG audio frame")) << bad.errors;
    std::remove(garbage.c_str());
}

TEST(HostCommands, TagSavesFieldsAndWipes) {
    auto audio = qw::test::readBytes(sample());
    ASSERT_GT(audio.size(), 128u);
    audio.resize(audio.size() - 128);
    const std::string file = temporary("tag.mp3");
    writeBytes(file, audio);

    CommandRun run = quillwave("tag " + file + " --artist \"Some Band\" --title Tune --genre \"classic rock\"");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Saved!\n");
    const std::string tag = "TAG" + padded("Tune", 30) + padded("Some Band", 30) + padded("Edit Me!", 30) + "1998" +
                            padded("Edit Me!", 30) + char(1);
    auto expected = audio;
    expected.insert(expected.end(), tag.begin(), tag.end());
    EXPECT_EQ(qw::test::readBytes(file), expected);

    run = quillwave("tag " + file + " --genre 148");
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(contains(run.errors, "unknown genre")) << run.errors;
    EXPECT_EQ(qw::test::readBytes(file), expected);

    run = quillwave("tag " + file + " --wipe");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Wiped!\n");
    EXPECT_EQ(qw::test::readBytes(file), audio);
    std::remove(file.c_str());

    run = quillwave("tag /nonexistent/quillwave.mp3 --title x");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(run.out, "Cannot Edit TAG\n");
}

TEST(HostCommands, ConfigShowsAndChoosesTheDecoder) {
    const std::string ini = temporary("options.ini");
    std::remove(ini.c_str());
    CommandRun run = quillwave("--ini " + ini + " config");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(
        contains(run.out, "Quillwave v4.0\nOptimize decoding for:\n  (*) Best Performance\n  ( ) Best Quality\n"))
        << run.out;

    run = quillwave("--ini " + ini + " config quality");
    ASSERT_EQ(run.status, 0) << run.errors;
    const auto written = qw::test::readBytes(ini);
    EXPECT_TRUE(contains(std::string(written.begin(), written.end()), "Decoder=1"));
    run = quillwave("--ini " + ini + " config");
    EXPECT_TRUE(contains(run.out, "  ( ) Best Performance\n  (*) Best Quality\n")) << run.out;

    EXPECT_NE(quillwave("--ini " + ini + " config fastest").status, 0);
    std::remove(ini.c_str());
}
