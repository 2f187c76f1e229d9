// The reference host driving the module file: decoding through the exports
// and the PlayerContext, end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "platform/platform.h"
#include "quillwave/quillwave.h"
#include "support/Vectors.h"

namespace {

std::string buildPath(const std::string& name) { return std::string(QW_BUILD_DIR) + "/" + name; }

// A path as the command interpreter takes it: on Windows '/' starts a switch.
std::string commandPath(std::string path) {
#if defined(_WIN32)
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
#endif
    return path;
}

std::string modulePath() { return buildPath("SQqw4.sqp"); }

struct HostRun {
    int status = -1;
    std::string errors;  // what the host wrote on stderr
};

// Runs the host with its standard error captured.
HostRun runHost(const std::string& arguments) {
    // ctest runs tests in parallel processes: one file per test.
    const std::string errFile = testing::TempDir() + "quillwave-stderr-" +
                                testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    const std::string command =
        commandPath(buildPath("quillwave")) + " --plugin " + modulePath() + " " + arguments + " 2>" + errFile;
    HostRun run;
    const int raw = std::system(command.c_str());
#if defined(_WIN32)
    run.status = raw;  // the exit code itself
#else
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    const auto bytes = qw::test::readBytes(errFile);
    run.errors.assign(bytes.begin(), bytes.end());
    std::remove(errFile.c_str());
    return run;
}

}  // namespace

TEST(ModuleFile, ExportsOnlyTheEntryPoints) {
    qw::sys::Handle module = qw::sys::loadLibrary(modulePath().c_str());
    ASSERT_NE(module, nullptr) << qw::sys::lastErrorText();
    auto query = reinterpret_cast<QueryFn>(qw::sys::librarySymbol(module, "Query"));
    ASSERT_NE(query, nullptr);
    EXPECT_NE(qw::sys::librarySymbol(module, "Initialise"), nullptr);
    EXPECT_NE(qw::sys::librarySymbol(module, "Shutdown"), nullptr);
    EXPECT_STREQ(query()->name, "qw 4");
    // Internal functions stay inside.
    EXPECT_EQ(qw::sys::librarySymbol(module, "_ZN2qw5queryEv"), nullptr);
    qw::sys::freeLibrary(module);
}

// Layer I through the host, both decoder settings (Layer I has one decoder).
TEST(HostDecode, LayerOneConformance) {
    for (const char* name : {"l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4"}) {
        QW_REQUIRE_VECTOR(input, std::string(name) + ".bit");
        const std::string output = testing::TempDir() + name + ".pcm";
        const HostRun run = runHost("decode " + input + " " + output);
        ASSERT_EQ(run.status, 0) << run.errors;
        const auto ours = qw::test::toSamples(qw::test::readBytes(output));
        const auto reference = qw::test::toSamples(qw::test::readBytes(qw::test::vectorsDir() + "/" + name + ".pcm"));
        const auto c = qw::test::compare(ours, reference);
        std::printf("%-8s %8zu values  PSNR %6.1f dB  max %d LSB\n", name, c.compared, c.psnr, c.maxDifference);
        EXPECT_GE(c.psnr, 96.0) << name;
        EXPECT_LE(c.maxDifference, 1) << name;
        std::remove(output.c_str());
    }
}

TEST(HostDecode, WavOutputDescribesTheStream) {
    QW_REQUIRE_VECTOR(input, "l1-fl4.bit");
    const std::string wav = testing::TempDir() + "l1-fl4.wav";
    const std::string raw = testing::TempDir() + "l1-fl4.raw";
    ASSERT_EQ(runHost("decode " + input + " " + wav).status, 0);
    ASSERT_EQ(runHost("decode " + input + " " + raw).status, 0);
    const auto w = qw::test::readBytes(wav);
    const auto r = qw::test::readBytes(raw);
    ASSERT_EQ(w.size(), r.size() + 44);
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    const auto le32 = [&](size_t at) { return uint32_t(w[at] | w[at + 1] << 8 | w[at + 2] << 16 | w[at + 3] << 24); };
    EXPECT_EQ(le32(40), r.size());
    EXPECT_EQ(le32(24), 32000u);  // l1-fl4 is mono at 32 kHz
    EXPECT_EQ(w[22], 1);
    EXPECT_TRUE(std::equal(r.begin(), r.end(), w.begin() + 44));
    std::remove(wav.c_str());
    std::remove(raw.c_str());
}

TEST(HostDecode, LayerTwoIsRefusedFrameByFrame) {
#if defined(_WIN32)
    GTEST_SKIP() << "on Windows the refusals are system message boxes, which the host cannot count";
#endif
    QW_REQUIRE_VECTOR(input, "l2-fl13.bit");
    const std::string output = testing::TempDir() + "l2.pcm";
    const HostRun run = runHost("decode " + input + " " + output);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(qw::test::readBytes(output).empty());
    size_t boxes = 0;
    for (size_t at = run.errors.find("ERROR: Layer2 Unsupported"); at != std::string::npos;
         at = run.errors.find("ERROR: Layer2 Unsupported", at + 1)) {
        ++boxes;
    }
    EXPECT_EQ(boxes, 49u);  // one per frame
    std::remove(output.c_str());
}

TEST(HostDecode, BadInputFailsWithOneLine) {
    const std::string garbage = testing::TempDir() + "garbage.mp3";
    std::FILE* f = std::fopen(garbage.c_str(), "wb");
    for (int i = 0; i < 4000; ++i) std::fputc(i * 7 & 0x7F, f);
    std::fclose(f);
    HostRun run = runHost("decode " + garbage + " " + testing::TempDir() + "none.wav");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find("no MPEG audio frame"), std::string::npos) << run.errors;
    run = runHost("decode /nonexistent/file.mp3 " + testing::TempDir() + "none.wav");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find("cannot read"), std::string::npos) << run.errors;
    run = runHost("decode " + garbage + " out.mp4");
    EXPECT_NE(run.status, 0);
    std::remove(garbage.c_str());
}
