// The host's info, tag and config commands, run as a user runs them: the built
// program with the built module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/TempFile.h"
#include "support/Vectors.h"

namespace {

struct CommandRun {
    int status = -1;  // 0 on success
    std::string out;  // line ends as plain \n, whatever the platform writes
    std::string errors;
};

CommandRun quillwave(const std::string& arguments) {
    const qw::test::TempFile out("quillwave-commands-out"), err("quillwave-commands-err");
    const std::string program = QW_BUILD_DIR "/quillwave --plugin " QW_BUILD_DIR "/SQqw4.sqp ";
    CommandRun run{std::system((program + arguments + " >" + out.path + " 2>" + err.path).c_str()), out.read(),
                   err.read()};
    run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
    return run;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const std::string sample = std::string(QW_SAMPLES_DIR) + "/sample.mp3";

TEST(HostCommands, InfoPrintsSongInformationAndTheDialog) {
    const CommandRun run = quillwave("info " + sample);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string size = std::to_string(qw::test::readBytes(sample).size());
    for (const std::string& part : std::vector<std::string>{
             "  format:\n    MPEG1\n    Layer3\n    Stereo\n    44100Hz\n", "  bitrate: 128kb/s\n",
             "  path:    " + sample + "\n", "  status:  Use Me!\n",
             "    MPEG Version: MPEG 1\n    Layer: 3\n    SampleRate: 44100\n    BitRate: 128\n    Mode: Stereo\n"
             "    Length: " +
                 size + " Bytes\n"})
        EXPECT_TRUE(contains(run.out, part)) << part << "\nin\n" << run.out;
#if !defined(_WIN32)
    // The dialog is headless here: --show lists the same and closes it at once.
    const CommandRun shown = quillwave("info --show " + sample);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, run.out);
    EXPECT_TRUE(contains(shown.errors, "the dialog is headless")) << shown.errors;
#endif

    qw::test::TempFile garbage("quillwave-commands-garbage");
    garbage.write(std::string(5000, 'U'));
    for (const auto& [file, error] : {std::pair<std::string, const char*>{"/nonexistent/quillwave.mp3", "cannot read"},
                                      {garbage.path, "no MPEG audio frame"}}) {
        const CommandRun bad = quillwave("info " + file);
        EXPECT_NE(bad.status, 0);
        EXPECT_TRUE(contains(bad.errors, error)) << bad.errors;
    }
}

TEST(HostCommands, TagSavesFieldsAndWipes) {
    const auto bytes = qw::test::readBytes(sample);
    const std::string audio(bytes.begin(), bytes.end() - 128);
    qw::test::TempFile file("quillwave-commands-tag");
    file.write(audio);
    CommandRun run = quillwave("tag " + file.path + " --artist \"Some Band\" --title Tune --genre \"classic rock\"");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Saved!\n");
    const std::string tagged = audio + "TAG" + "Tune" + std::string(26, ' ') + "Some Band" + std::string(21, ' ') +
                               "Edit Me!" + std::string(22, ' ') + "1998" + "Edit Me!" + std::string(22, ' ') + '\1';
    EXPECT_EQ(file.read(), tagged);

    run = quillwave("tag " + file.path + " --genre 148");
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(contains(run.errors, "unknown genre")) << run.errors;
    EXPECT_EQ(file.read(), tagged);

    run = quillwave("tag " + file.path + " --wipe");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Wiped!\n");
    EXPECT_EQ(file.read(), audio);
}

TEST(HostCommands, ConfigShowsAndChoosesTheDecoder) {
    const qw::test::TempFile ini("quillwave-commands-ini");
    const std::string config = "--ini " + ini.path + " config";
    EXPECT_TRUE(contains(quillwave(config).out,
                         "Quillwave v4.0\nOptimize decoding for:\n  (*) Best Performance\n  ( ) Best Quality\n"));
    ASSERT_EQ(quillwave(config + " quality").status, 0);
    EXPECT_TRUE(contains(ini.read(), "Decoder=1"));
    EXPECT_TRUE(contains(quillwave(config).out, "  ( ) Best Performance\n  (*) Best Quality\n"));
    EXPECT_NE(quillwave(config + " fastest").status, 0);
}

}  // namespace
