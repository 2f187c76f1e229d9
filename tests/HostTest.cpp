// The reference host's commands, run as a user runs them: the built program with the built module.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"
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
        EXPECT_TRUE(sameBytes(runHost("record " + input + " -").bytes.substr(44), r)) << name;
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
        {"tag " + sample + " --title", 1, "missing value for --title", ""},
        {"record --chunk 4k " + sample + wav, 1, "--chunk takes a size from 1 to 16777216 bytes, not 4k", ""},
        {"decode --fast " + sample + wav, 1, "unknown option --fast", ""}};
    // Each command with an input, and its output where it has one.
    const auto withInput = [&](const std::string& command, const std::string& input) {
        return command + " " + input + (command == "info" || command == "tag" ? "" : wav);
    };
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (const char* command : {"decode", "record", "info"}) {
        cases.emplace_back(withInput(command, garbage.path), 2, "no MPEG audio frame found", "");
        cases.emplace_back(withInput(command, folder), 1, "is a directory", "");
#if !defined(_WIN32)  // on Windows the refusals are system message boxes
        cases.emplace_back(withInput(command, vectorsDir() + "/l2-fl13.bit"), 2, "decoded no PCM",
                           "closed 49 message boxes from the module");
#endif
    }
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

// A tag as stored: the mark, title, artist, album, year and comment padded with spaces to their widths, the genre.
std::string tagOf(std::string mark, std::vector<std::string> texts, char genre) {
    for (size_t i = 0; i < texts.size(); ++i) mark += texts[i].append(30, ' ').substr(0, i == 3 ? 4 : 30);
    return mark + genre;
}

TEST(HostCommands, TagSavesFieldsAndWipes) {
    const auto bytes = readBytes(sample);
    const std::string audio(bytes.begin(), bytes.end() - 128), x29(29, 'x'), c28(28, 'c');
    const std::string tagged = audio + tagOf("TAG", {"Tune", "Some Band", "", "", ""}, 1);
    // The mark in lower case, genre 255 and a track number behind a zero in the comment.
    const std::string lower = audio + tagOf("tag", {"Old", "", "", "2001", c28 + '\0' + '\7'}, -1);
    // The file before, the arguments, the exit status, the file after, standard output, parts of standard error.
    using Parts = std::vector<std::string>;
    const std::tuple<std::string, std::string, int, std::string, std::string, Parts> rows[] = {
        // A new tag holds only the fields given: the dialog's placeholders were cleared.
        {audio, "--artist \"Some Band\" --title Tune --genre \"classic rock\"", 0, tagged, "TAG Saved!\n", {}},
        {tagged, "--genre 148", 1, tagged, "", {"unknown genre"}},
        {tagged, "--wipe", 0, audio, "TAG Wiped!\n", {}},
        {audio, "", 0, audio, "no ID3v1 tag\n", {}},
        // Values are cut to their fields between characters; the genre nobody chose is told.
        {audio, "--title " + x29 + "\xC3\xA9 --year 20245", 0, audio + tagOf("TAG", {x29, "", "", "2024", ""}, 0),
         "TAG Saved!\n", Parts{"--title is 31 bytes", "--year is 5 bytes", "genre is Blues (0)"}},
        // The module takes any case of the mark for a tag; what the dialog cannot hold is told.
        {lower, "", 0, lower, "  artist:  \n  title:   Old\n", {}},
        {lower, "--title New", 0, audio + tagOf("TAG", {"New", "", "", "2001", c28}, 0), "TAG Saved!\n",
         Parts{"genre 255 is not in the dialog's list", "track number 7"}}};
    const TempFile file("quillwave-commands-tag");
    for (const auto& [before, arguments, status, after, out, errors] : rows) {
        file.write(before);
        const HostRun run = runHost("tag " + file.path + " " + arguments);
        EXPECT_EQ(run.status, status) << arguments << ": " << run.errors;
        EXPECT_TRUE(sameBytes(file.read(), after)) << arguments;
        EXPECT_TRUE(contains(run.out, out)) << arguments << ": " << run.out;
        EXPECT_EQ(errors.empty(), run.errors.empty()) << arguments << ": " << run.errors;
        for (const std::string& part : errors) EXPECT_TRUE(contains(run.errors, part)) << part << ": " << run.errors;
    }

    // Beyond the module's 32-bit file positions every tag command refuses and leaves the file whole.
    file.write(audio.substr(0, 2048));
    file.extend((uint64_t(1) << 32) + 128, tagOf("TAG", {"Old", "", "", "", ""}, 2));
    const std::string ends = file.readEnds(2048);
    for (const char* arguments : {" --wipe", " --title X", ""}) {
        const HostRun run = runHost("tag " + file.path + arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_TRUE(contains(run.errors, "4294967424 bytes, more than the module's")) << run.errors;
        EXPECT_TRUE(sameBytes(file.readEnds(2048), ends)) << arguments;  // a file cut short reads as zeros
    }

#if !defined(_WIN32)
    // A second editor waits for the first one's edit lock, saying so, and saves once it is let go.
    file.write(audio);
    sys::Handle editing = nullptr;
    ASSERT_EQ(sys::lockEdits(file.c_str(), false, &editing), sys::EditLock::held);
    const TempFile log("quillwave-commands-log");
    std::atomic<bool> done{false};
    std::thread editor([&] {
        runHost("tag " + file.path + " --album Late 2>" + log.path);
        done = true;
    });
    while (!done && !contains(log.read(), "waiting")) sys::sleepMs(5);
    EXPECT_FALSE(done) << "saved while another editor held the file: " << log.read();
    EXPECT_TRUE(sameBytes(file.read(), audio));
    sys::closeFile(editing);
    editor.join();
    EXPECT_TRUE(sameBytes(file.read(), audio + tagOf("TAG", {"", "", "Late", "", ""}, 0)));
#endif
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

    // A choice the settings file does not hold once the page closes fails, naming the file: a missing folder, a
    // folder in its place, a home that is a file and so holds no settings folder.
    const TempFile folder("quillwave-commands-folder");
    std::filesystem::create_directory(folder.path);
    std::vector<std::string> unsaved = {"/nonexistent/quillwave/q.ini", folder.path};
#if !defined(_WIN32)
    unsaved.push_back(ini.path + "/.config/quillwave/quillwave.ini");
#endif
    for (const std::string& path : unsaved) {
        const std::string arguments = contains(path, "/.config/") ? "" : "--ini " + path;
        const HostRun run = runHost(arguments + " config quality", "HOME=" + ini.path + " XDG_CONFIG_HOME=");
        EXPECT_EQ(run.status, 1) << path;
        EXPECT_TRUE(contains(run.errors, "the choice was not saved: " + path)) << run.errors;
        EXPECT_FALSE(contains(run.errors, "Chosen")) << run.errors;
    }
}

}  // namespace
}  // namespace qw::test
