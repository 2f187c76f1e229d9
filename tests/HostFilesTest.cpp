// The reference host on files as people have them: tagged at the start, long, large, read once, named in other
// scripts, or holding no PCM.  Runs the built program through the shell, so POSIX only.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/HostRun.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace qw::test {
namespace {

// The peak resident memory in KB, to the MB above, of the largest process that run() waits for (the program, through
// its shell); -1 when the run fails.  run() goes in a process of its own, which counts only the children it has itself,
// and tells the figure in MB through its exit status.
template <class Run>
long peakMemoryKb(Run run) {
    const pid_t child = fork();
    if (child == 0) {
        rusage usage{};
        const bool ran = run().status == 0 && getrusage(RUSAGE_CHILDREN, &usage) == 0;
        _exit(ran ? int(std::min(usage.ru_maxrss / 1024 + 1, 254L)) : 255);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    return WEXITSTATUS(status) * 1024L;
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

TEST(HostFiles, LeadingId3v2TagsAreSkippedByEveryCommand) {
    const std::string audio = TempFile::contents(sample);
    const std::string decodedSample = outputOf("decode", sample), recordedSample = outputOf("record", sample);
    ASSERT_FALSE(decodedSample.empty());
    // 100 KB of padding before the first false sync word; then two tags in a row, versions 2.2 and 2.4 with a footer.
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
        EXPECT_TRUE(sameBytes(outputOf("decode", file.path, &run), decodedSample)) << said << ": " << run.errors;
        EXPECT_TRUE(sameBytes(outputOf("record", file.path, &run), recordedSample)) << said << ": " << run.errors;

        run = runHost("info " + file.path);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(contains(run.out, "  ID3v2:   " + said + "\n")) << run.out;
        EXPECT_TRUE(contains(run.out, "Length: " + std::to_string(audio.size()) + " Bytes")) << run.out;
    }
}

// The input is read in large blocks, not through a call per byte of a frame search: 50 MB without a frame cost some
// 800 reads, not one per 4 KB.  (The leak checker cannot run under strace.)
#if defined(QW_HAVE_STRACE)
TEST(HostFiles, InputIsReadInLargeBlocks) {
    const TempFile zeros("quillwave-files-zeros-", ".mp3"), trace("quillwave-files-strace");
    zeros.write("");
    std::filesystem::resize_file(zeros.path, 50 << 20);
    const HostRun run = runHost("decode " + zeros.path + " - >/dev/null",
                                "ASAN_OPTIONS=detect_leaks=0 strace -f -e trace=read -o " + trace.path);
    EXPECT_EQ(run.status, 2) << run.errors;
    // A line for each call, and one for each process's end.
    const std::string calls = trace.read();
    ASSERT_TRUE(contains(calls, "read(")) << "no trace: " << run.errors;
    EXPECT_LT(std::count(calls.begin(), calls.end(), '\n'), 2000) << calls.substr(0, 4000);
}
#endif

TEST(HostFiles, DecodeStreamsWavToStandardOutputInLittleMemory) {
    // Six minutes (63 MB of PCM): the sample's audio again and again.
    const std::string audio = TempFile::contents(sample).substr(0, readBytes(sample).size() - 128);
    std::string minutes;
    for (int i = 0; i < 90; ++i) minutes += audio;
    const TempFile input("quillwave-files-long-", ".mp3"), redirected("quillwave-files-redirected");
    input.write(minutes);

    // Measured first: a process forked later would start out with the piped output's memory.
    const long peakKb = peakMemoryKb([&] { return runHost("decode " + input.path + " - >" + redirected.path); });
    const HostRun piped = runHost("decode " + input.path + " - | cat");

    // Through a pipe the sizes are unknown; a file is completed at the end.
    const std::string fileWav = redirected.read();
    ASSERT_GT(fileWav.size(), 60000000u);
    EXPECT_EQ(le32(piped.bytes, 4), 0xFFFFFFFFu);
    EXPECT_EQ(le32(piped.bytes, 40), 0xFFFFFFFFu);
    EXPECT_EQ(le32(fileWav, 4), fileWav.size() - 8);
    EXPECT_EQ(le32(fileWav, 40), fileWav.size() - 44);
    EXPECT_TRUE(sameBytes(piped.bytes.substr(44), fileWav.substr(44)));

#if defined(__SANITIZE_ADDRESS__)
    const long limitKb = 96 * 1024;  // the sanitizer's own memory comes on top
#else
    const long limitKb = 24 * 1024;
#endif
    EXPECT_GT(peakKb, 0) << "the measured run failed";
    EXPECT_LE(peakKb, limitKb) << "peak memory in KB";
}

TEST(HostFiles, ReadOnceInputsAreOpenedOnceAndNeverHang) {
    const TempFile fifo("quillwave-files-fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string writer = "(timeout 30 sh -c 'cat " + sample + " >" + fifo.path + "' &);";
    const std::string decodedSample = outputOf("decode", sample);

    HostRun run;
    // From the FIFO, and from standard input, which has no path to open again even where it is a file.
    for (const auto& [input, before] : {std::pair<std::string, std::string>{fifo.path, writer}, {"-", "<" + sample}}) {
        run = runHost("info " + input, before);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(contains(run.out, "    Layer3\n")) << run.out;
        EXPECT_TRUE(contains(run.out, "File information dialog\n  skipped: ")) << run.out;
        EXPECT_TRUE(sameBytes(outputOf("decode", input, &run, ".wav", before), decodedSample))
            << input << ": " << run.errors;
    }

    // Without a writer: a second open of the FIFO would wait for ever.
    for (const std::string& command : {"record " + fifo.path + " " + fifo.path + ".wav", "tag " + fifo.path}) {
        run = runHost(command);
        EXPECT_EQ(run.status, 1) << command << ": " << run.errors;
        EXPECT_TRUE(contains(run.errors, "needs a regular file")) << run.errors;
    }
}

TEST(HostFiles, NonAsciiPathsWorkInEveryCommand) {
    const TempFile folder("quillwave-é-");
    std::filesystem::create_directory(folder.path);
    const std::string mp3 = folder.path + "/chanson-é.mp3", wav = folder.path + "/chanson-é.wav";
    std::filesystem::copy_file(sample, mp3);
    // A UTF-8 locale, and none (the path is then taken as UTF-8).
    for (const std::string locale : {"LC_ALL=C.UTF-8", "LC_ALL=C"}) {
        for (const std::string& command :
             {"decode " + mp3 + " " + wav, "record " + mp3 + " " + wav, "info " + mp3, "tag " + mp3 + " --year 2001"}) {
            const HostRun run = runHost(command, locale);
            EXPECT_EQ(run.status, 0) << locale << " " << command << ": " << run.errors;
        }
    }
    const std::string tagged = TempFile::contents(mp3);
    EXPECT_EQ(tagged.substr(tagged.size() - 35, 4), "2001");  // the tag's year
}

// Two streams of different sample rates joined: the frame search stays with the first stream's rate, so the first
// plays, and the host says which bytes gave no audio.
TEST(HostFiles, JoinedStreamsOfTwoRatesPlayTheFirstAndSaySo) {
    const TempFile joined("quillwave-files-joined-", ".mp3");
    joined.write(TempFile::contents(sample) + TempFile::contents(vectorsDir() + "/l3-he_32khz.bit"));
    HostRun run;
    EXPECT_TRUE(sameBytes(outputOf("decode", joined.path, &run), outputOf("decode", sample)));
    EXPECT_TRUE(
        contains(run.errors, "bytes 64783 to 160671 of " + joined.path + " gave no audio; the decode ends at 4.048 s"))
        << run.errors;
}

// Sizes over 2 and over 4 GB (sparse files: the sample, then zeros).
TEST(HostFiles, InfoPrintsSizesBeyondFourGigabytes) {
    for (const uint64_t size : {3000ull << 20, 5000ull << 20}) {
        const TempFile file("quillwave-files-large-", ".mp3");
        file.write(TempFile::contents(sample));
        std::filesystem::resize_file(file.path, size);
        const HostRun run = runHost("info " + file.path);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_TRUE(contains(run.out, "  size:    " + std::to_string(size) + " bytes\n")) << run.out;
    }
}

}  // namespace
}  // namespace qw::test
#endif
