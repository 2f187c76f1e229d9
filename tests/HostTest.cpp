// The reference host's commands, run as a user runs them: the built program with the built module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/HostRun.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace qw::test {
namespace {

// Layer I through the host into WAV and raw files: the WAV header describes the stream, the raw file holds the
// same samples, and they match the reference.
TEST(HostDecode, LayerOneConformanceAsWavAndRaw) {
    const std::tuple<const char*, uint32_t, char> cases[] = {
        {"l1-fl1", 32000, 2}, {"l1-fl2", 44100, 2}, {"l1-fl3", 48000, 2}, {"l1-fl4", 32000, 1}};
    for (const auto& [name, rate, channels] : cases) {
        QW_REQUIRE_VECTOR(input, std::string(name) + ".bit");
        HostRun run;
        const std::string w = outputOf("decode", input, &run), r = outputOf("decode", input, nullptr, ".raw");
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_EQ(w.size(), r.size() + 44) << name;
        EXPECT_EQ(w.substr(0, 4), "RIFF") << name;
        EXPECT_EQ(le32(w, 40), r.size()) << name;
        EXPECT_EQ(le32(w, 24), rate) << name;
        EXPECT_EQ(w[22], channels) << name;
        EXPECT_TRUE(sameBytes(w.substr(44), r)) << name;
        // Recorded to standard output, the WAV is all that goes there.
        EXPECT_TRUE(sameBytes(runHost("record " + input + " -").out.substr(44), r)) << name;
        const Comparison c = compare(toSamples(std::vector<uint8_t>(r.begin(), r.end())),
                                     toSamples(readBytes(vectorsDir() + "/" + name + ".pcm")));
        EXPECT_GE(c.psnr, 96.0) << name;
        EXPECT_LE(c.maxDifference, 1) << name;
    }
}

// A command that fails exits 1 for what the user asked wrongly and 2 when the input holds no PCM, says why in one
// line, and leaves no output behind.
TEST(HostDecode, FailuresExitWithAStatusAndOneLine) {
    const TempFile garbage("quillwave-host-garbage"), wave("quillwave-host-", ".wav"),
        output("quillwave-host-", ".wav");
    garbage.write(std::string(5000, 'U'));
    // A WAV file of a quiet tone: its samples hold many words that look like frame headers.
    std::string pcm;
    for (int i = 0; i < 88200; ++i) {
        const int16_t v = int16_t(300 * std::sin(i * 0.0627));
        pcm += {char(v & 0xFF), char(v >> 8)};
    }
    wave.write("RIFF" + std::string(40, '\0') + pcm);
    const std::string wav = " " + output.path, longPath = "/tmp/" + std::string(1100, 'x') + ".mp3";
    // Arguments, exit status, the reason, a line the command must write too.
    std::vector<std::tuple<std::string, int, std::string, std::string>> cases = {
        {"decode " + garbage.path + wav, 2, "no MPEG audio frame found", ""},
        {"record " + garbage.path + wav, 2, "no MPEG audio frame found", ""},
        {"info " + garbage.path, 2, "no MPEG audio frame found", ""},
        {"decode " + wave.path + wav, 2, "no MPEG audio frame found", ""},
        {"decode " + vectorsDir() + "/l3-he_free.bit" + wav, 2, "no MPEG audio frame found", ""},
        {"decode /nonexistent/quillwave.mp3" + wav, 1, "quillwave.mp3 does not exist", ""},
        {"info /nonexistent/quillwave.mp3", 1, "quillwave.mp3 does not exist", ""},
        {"decode " + longPath + wav, 1, "1109 bytes long; the module takes at most 1023", ""},
        {"--ini " + longPath + std::string(1000, 'y') + " config", 1, "the module takes at most 2047", ""},
        {"decode " + garbage.path + " out.mp4", 1, "output must end in .wav, .pcm or .raw", ""},
        {"decode --seek 100000 " + sample + wav, 1, "--seek 100000 lies past the end", ""},
        {"decode --seek 100 -" + wav + " <" + sample, 1, "standard input is read once", ""},
        {"decode --seek abc " + sample + wav, 1, "--seek takes a position in whole milliseconds, not abc", ""},
        {"decode --seek -5 " + sample + wav, 1, "not -5", ""},
        {"decode " + sample + wav + " --seek", 1, "missing value for --seek", ""},
        {"record --chunk 4k " + sample + wav, 1, "--chunk takes a size from 1 to 16777216 bytes, not 4k", ""},
        {"decode --fast " + sample + wav, 1, "unknown option --fast", ""}};
    // Each command with an input, and its output where it has one.
    const auto withInput = [&](const std::string& command, const std::string& input) {
        return command + " " + input + (command == "info" ? "" : wav);
    };
    for (const char* command : {"decode", "record", "info"})
        cases.emplace_back(withInput(command, std::filesystem::temp_directory_path().string()), 1, "is a directory",
                           "");
#if !defined(_WIN32)  // on Windows the refusals are system message boxes
    const std::string layerTwo = vectorsDir() + "/l2-fl13.bit";
    for (const char* command : {"decode", "record", "info"})
        cases.emplace_back(withInput(command, layerTwo), 2, "decoded no PCM",
                           "closed 49 message boxes from the module");
#endif
    for (const auto& [arguments, status, reason, said] : cases) {
        const HostRun run = runHost(arguments);
        EXPECT_EQ(run.status, status) << arguments;
        const size_t at = run.errors.rfind("quillwave: ");
        ASSERT_NE(at, std::string::npos) << arguments << ": " << run.errors;
        const std::string last = run.errors.substr(at);
        EXPECT_TRUE(contains(last, reason)) << arguments << ": " << run.errors;
        EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 1) << last;
        EXPECT_TRUE(contains(run.errors, said)) << arguments << ": " << run.errors;
        // The module's boxes are closed by the host, not told one by one.
        EXPECT_FALSE(contains(run.errors, "ERROR: Layer2")) << arguments;
        EXPECT_FALSE(std::filesystem::exists(output.path)) << arguments << " left its output";
    }
}

TEST(HostCommands, InfoPrintsSongInformationAndTheDialog) {
    // A module named by its bare file name is the one in the current folder.
    const HostRun run = runHost("--plugin SQqw4.sqp info " + sample, "cd " QW_BUILD_DIR " &&");
    ASSERT_EQ(run.status, 0) << run.errors;
    for (const std::string& part : std::vector<std::string>{
             "  format:\n    MPEG1\n    Layer3\n    Stereo\n    44100Hz\n", "  bitrate: 128kb/s\n",
             "  path:    " + sample + "\n", "  status:  Use Me!\n",
             "    MPEG Version: MPEG 1\n    Layer: 3\n    SampleRate: 44100\n    BitRate: 128\n    Mode: Stereo\n"
             "    Length: 64911 Bytes\n"})
        EXPECT_TRUE(contains(run.out, part)) << part << "\nin\n" << run.out;
#if !defined(_WIN32)
    // The dialog is headless here: --show lists the same and closes it at once.
    const HostRun shown = runHost("info --show " + sample);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, run.out);
    EXPECT_TRUE(contains(shown.errors, "the dialog is headless")) << shown.errors;
#endif
}

TEST(HostCommands, TagSavesFieldsAndWipes) {
    const auto bytes = readBytes(sample);
    const std::string audio(bytes.begin(), bytes.end() - 128);
    const TempFile file("quillwave-commands-tag");
    file.write(audio);
    HostRun run = runHost("tag " + file.path + " --artist \"Some Band\" --title Tune --genre \"classic rock\"");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Saved!\n");
    const std::string tagged = audio + "TAG" + "Tune" + std::string(26, ' ') + "Some Band" + std::string(21, ' ') +
                               "Edit Me!" + std::string(22, ' ') + "1998" + "Edit Me!" + std::string(22, ' ') + '\1';
    EXPECT_EQ(file.read(), tagged);

    run = runHost("tag " + file.path + " --genre 148");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.errors, "unknown genre")) << run.errors;
    EXPECT_EQ(file.read(), tagged);

    // Without options the tag is shown and nothing written.
    run = runHost("tag " + file.path);
    EXPECT_TRUE(contains(run.out, "  artist:  Some Band\n  title:   Tune\n")) << run.out;
    EXPECT_EQ(file.read(), tagged);

    run = runHost("tag " + file.path + " --wipe");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.out, "TAG Wiped!\n");
    EXPECT_EQ(file.read(), audio);
    EXPECT_EQ(runHost("tag " + file.path).out, "no ID3v1 tag\n");
    EXPECT_EQ(file.read(), audio);
}

TEST(HostCommands, ConfigShowsAndChoosesTheDecoder) {
    const TempFile ini("quillwave-commands-ini");
    const std::string config = "--ini " + ini.path + " config";
    EXPECT_TRUE(contains(runHost(config).out,
                         "Quillwave v4.0\nOptimize decoding for:\n  (*) Best Performance\n  ( ) Best Quality\n"));
    ASSERT_EQ(runHost(config + " quality").status, 0);
    EXPECT_TRUE(contains(ini.read(), "Decoder=1"));
    EXPECT_TRUE(contains(runHost(config).out, "  ( ) Best Performance\n  (*) Best Quality\n"));
    EXPECT_EQ(runHost(config + " fastest").status, 1);
}

}  // namespace
}  // namespace qw::test
