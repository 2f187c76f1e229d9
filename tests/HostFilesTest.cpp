// The reference host on files as people have them: tagged at the start, long,
// large, read once, named in other scripts, or holding no PCM.  Runs the built
// program through the shell, so POSIX only.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>

#include "support/HostRun.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace qw::test {
namespace {

const std::string sample = std::string(QW_SAMPLES_DIR) + "/sample.mp3";

// Runs run() in a process of its own and reports the peak resident memory of
// the largest process it waited for (the program, through its shell): a
// fresh process counts only the children it has itself.
template <class Run>
HostRun withPeakMemory(Run run, long* peakKb) {
    int channel[2];
    if (pipe(channel) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        const HostRun result = run();
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        const long report[2] = {result.status, usage.ru_maxrss};
        _exit(write(channel[1], report, sizeof report) == sizeof report ? 0 : 1);
    }
    close(channel[1]);  // so that a child that dies without a word ends the read
    long report[2] = {-1, 0};
    const bool got = child > 0 && read(channel[0], report, sizeof report) == sizeof report;
    close(channel[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    *peakKb = got ? report[1] : 0;
    return {got ? int(report[0]) : -1, "", ""};
}

std::string bytesOf(const std::string& path) {
    const auto bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Equal outputs, or where they part.
testing::AssertionResult sameBytes(const std::string& got, const std::string& expected) {
    if (got == expected) return testing::AssertionSuccess();
    const auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    return testing::AssertionFailure() << got.size() << " bytes against " << expected.size() << ", first difference at "
                                       << (differ.first - got.begin());
}

// An ID3v2 tag of the given version around body; flag 0x10 adds the footer.
std::string id3v2(char version, char flags, const std::string& body) {
    const size_t n = body.size();
    const std::string size{char(n >> 21 & 127), char(n >> 14 & 127), char(n >> 7 & 127), char(n & 127)};
    const std::string fields = std::string{version, 0, flags} + size;
    return "ID3" + fields + body + ((flags & 0x10) != 0 ? "3DI" + fields : "");
}

// A Layer I, 48 kHz frame header: a tag holding it leads a frame search astray.
const std::string falseSync("\xFF\xFE\x94\x00", 4);

// Decodes (or records) input into a .wav and returns its bytes; "" on failure.
std::string decoded(const std::string& command, const std::string& input, HostRun* run = nullptr) {
    const TempFile wav("quillwave-files-", ".wav");
    const HostRun done = runHost(command + " " + input + " " + wav.path);
    if (run != nullptr) *run = done;
    return done.status == 0 ? wav.read() : "";
}

TEST(HostFiles, LeadingId3v2TagsAreSkippedByEveryCommand) {
    const std::string audio = bytesOf(sample);
    const std::string decodedSample = decoded("decode", sample), recordedSample = decoded("record", sample);
    ASSERT_FALSE(decodedSample.empty());
    // 100 KB of padding before the first false sync word; then two tags in a
    // row, versions 2.2 and 2.4 with a footer.
    const std::string padded = id3v2(3, 0, std::string(100000, '\0') + falseSync + falseSync);
    const std::string twoTags = id3v2(2, 0, std::string("TT2\0\0\6\0Title", 12) + falseSync) +
                                id3v2(4, 0x10, falseSync + std::string(300, '\0'));
    const std::pair<std::string, std::string> cases[] = {
        {padded, "tag of " + std::to_string(padded.size()) + " bytes skipped"},
        {twoTags, "2 tags of " + std::to_string(twoTags.size()) + " bytes skipped"}};
    for (const auto& [tags, said] : cases) {
        const TempFile file("quillwave-files-id3v2-", ".mp3");
        file.write(tags + audio);
        HostRun run;
        EXPECT_TRUE(sameBytes(decoded("decode", file.path, &run), decodedSample)) << said << ": " << run.errors;
        EXPECT_TRUE(sameBytes(decoded("record", file.path, &run), recordedSample)) << said << ": " << run.errors;

        run = runHost("info " + file.path);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(contains(run.out, "  ID3v2:   " + said + "\n")) << run.out;
        EXPECT_TRUE(contains(run.out, "Length: " + std::to_string(audio.size()) + " Bytes")) << run.out;
    }
}

// The input is read in large blocks, not through a call per byte of a frame
// search: 50 MB without a frame cost some 800 reads, not one per 4 KB.  (The
// leak checker cannot run under strace.)
#if defined(QW_HAVE_STRACE)
TEST(HostFiles, InputIsReadInLargeBlocks) {
    const TempFile zeros("quillwave-files-zeros-", ".mp3"), counts("quillwave-files-strace");
    zeros.write("");
    std::filesystem::resize_file(zeros.path, 50 << 20);
    const HostRun run = runHost("decode " + zeros.path + " - >/dev/null",
                                "ASAN_OPTIONS=detect_leaks=0 strace -f -c -e trace=read -o " + counts.path);
    EXPECT_EQ(run.status, 2) << run.errors;
    const std::string table = counts.read();
    const size_t row = table.rfind(" read\n");
    ASSERT_NE(row, std::string::npos) << table;
    // The row is "% time, seconds, usecs/call, calls, [errors], read".
    std::istringstream numbers(table.substr(table.rfind('\n', row) + 1));
    double percent = 0, seconds = 0, perCall = 0;
    long calls = 0;
    ASSERT_TRUE(numbers >> percent >> seconds >> perCall >> calls) << table;
    EXPECT_LT(calls, 2000) << table;
}
#endif

TEST(HostFiles, DecodeStreamsWavToStandardOutputInLittleMemory) {
    // Six minutes (63 MB of PCM): the sample's audio again and again.
    const std::string audio = bytesOf(sample).substr(0, readBytes(sample).size() - 128);
    std::string minutes;
    for (int i = 0; i < 90; ++i) minutes += audio;
    const TempFile input("quillwave-files-long-", ".mp3"), redirected("quillwave-files-redirected");
    input.write(minutes);

    // Measured first: a process forked later would start out with the piped output's memory.
    long peakKb = 0;
    const HostRun run =
        withPeakMemory([&] { return runHost("decode " + input.path + " - >" + redirected.path); }, &peakKb);
    EXPECT_EQ(run.status, 0) << run.errors;
    const HostRun piped = runHost("decode " + input.path + " - | cat");

    // Through a pipe the sizes are unknown; a file is completed at the end.
    const std::string& pipeWav = piped.out;
    const std::string fileWav = redirected.read();
    ASSERT_GT(fileWav.size(), 60000000u);
    const std::string unknown(4, '\xFF');
    EXPECT_EQ(pipeWav.substr(4, 4), unknown);
    EXPECT_EQ(pipeWav.substr(40, 4), unknown);
    const auto le32 = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = 4; i-- > 0;) value = value << 8 | uint8_t(fileWav[at + i]);
        return value;
    };
    EXPECT_EQ(le32(4), fileWav.size() - 8);
    EXPECT_EQ(le32(40), fileWav.size() - 44);
    EXPECT_TRUE(sameBytes(pipeWav.substr(44), fileWav.substr(44)));

#if defined(__SANITIZE_ADDRESS__)
    const long limitKb = 96 * 1024;  // the sanitizer's own memory comes on top
#else
    const long limitKb = 24 * 1024;
#endif
    EXPECT_LE(peakKb, limitKb) << "peak memory in KB";
}

TEST(HostFiles, ReadOnceInputsAreOpenedOnceAndNeverHang) {
    const TempFile fifo("quillwave-files-fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string writer = "(timeout 30 sh -c 'cat " + sample + " >" + fifo.path + "' &);";
    const std::string decodedSample = decoded("decode", sample);

    HostRun run = runHost("info " + fifo.path, writer);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(contains(run.out, "    Layer3\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "File information dialog\n  skipped: ")) << run.out;
    const TempFile wav("quillwave-files-fifo-", ".wav");
    // From the FIFO, and from standard input.
    for (const auto& [arguments, before] : {std::pair<std::string, std::string>{fifo.path + " " + wav.path, writer},
                                            {"- " + wav.path + " <" + sample, ""}}) {
        run = runHost("decode " + arguments, before);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(sameBytes(wav.read(), decodedSample)) << arguments;
    }

    // Without a writer: a second open of the FIFO would wait for ever.
    for (const std::string& command : {"record " + fifo.path + " " + wav.path, "tag " + fifo.path}) {
        run = runHost(command);
        EXPECT_EQ(run.status, 1) << command << ": " << run.errors;
        EXPECT_TRUE(contains(run.errors, "needs a regular file")) << run.errors;
    }
}

TEST(HostFiles, NonAsciiPathsWorkInEveryCommand) {
    const std::string folder = testing::TempDir() + "quillwave-é-" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    const std::string mp3 = folder + "/chanson-é.mp3", wav = folder + "/chanson-é.wav";
    std::filesystem::copy_file(sample, mp3, std::filesystem::copy_options::overwrite_existing);
    // A UTF-8 locale, and none (the path is then taken as UTF-8).
    for (const std::string locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
        for (const std::string& command :
             {"decode " + mp3 + " " + wav, "record " + mp3 + " " + wav, "info " + mp3, "tag " + mp3 + " --year 2001"}) {
            const HostRun run = runHost(command, locale);
            EXPECT_EQ(run.status, 0) << locale << " " << command << ": " << run.errors;
        }
    }
    const std::string tagged = bytesOf(mp3);
    EXPECT_EQ(tagged.substr(tagged.size() - 35, 4), "2001");  // the tag's year
    std::filesystem::remove_all(folder);
}

// Sizes over 2 and over 4 GB (sparse files: the sample, then zeros).
TEST(HostFiles, InfoPrintsSizesBeyondFourGigabytes) {
    for (const uint64_t size : {3000ull << 20, 5000ull << 20}) {
        const TempFile file("quillwave-files-large-", ".mp3");
        file.write(bytesOf(sample));
        std::filesystem::resize_file(file.path, size);
        const HostRun run = runHost("info " + file.path);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(contains(run.out, "  size:    " + std::to_string(size) + " bytes\n")) << run.out;
    }
}

}  // namespace
}  // namespace qw::test
#endif
