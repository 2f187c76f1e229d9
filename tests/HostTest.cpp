// The reference host driving the module file: decoding through the exports and the PlayerContext, end to end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "platform/platform.h"
#include "quillwave/quillwave.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace {

std::string buildPath(const std::string& name) { return std::string(QW_BUILD_DIR) + "/" + name; }

// A path as the command interpreter takes it: on Windows '/' starts a switch.
std::string commandPath(std::string path) {
#if defined(_WIN32)
    std::replace(path.begin(), path.end(), '/', '\\');
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
    const qw::test::TempFile errors("quillwave-stderr-");
    const int raw = std::system(
        (commandPath(buildPath("quillwave")) + " --plugin " + modulePath() + " " + arguments + " 2>" + errors.path)
            .c_str());
#if defined(_WIN32)
    return {raw, errors.read()};  // the exit code itself
#else
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, errors.read()};
#endif
}

}  // namespace

TEST(ModuleFile, ExportsOnlyTheEntryPoints) {
    qw::sys::Handle module = qw::sys::loadLibrary(modulePath().c_str());
    ASSERT_NE(module, nullptr) << qw::sys::lastErrorText();
    auto query = reinterpret_cast<QueryFn>(qw::sys::librarySymbol(module, "Query"));
    ASSERT_NE(query, nullptr);
    EXPECT_STREQ(query()->name, "qw 4");
    EXPECT_NE(qw::sys::librarySymbol(module, "Initialise"), nullptr);
    EXPECT_NE(qw::sys::librarySymbol(module, "Shutdown"), nullptr);
    EXPECT_EQ(qw::sys::librarySymbol(module, "_ZN2qw5queryEv"), nullptr);  // internal functions stay inside
    qw::sys::freeLibrary(module);
}

// Layer I through the host into WAV and raw files: the WAV header describes the stream, the raw file holds the
// same samples, and they match the reference.
TEST(HostDecode, LayerOneConformanceAsWavAndRaw) {
    const std::tuple<const char*, uint32_t, uint8_t> cases[] = {
        {"l1-fl1", 32000, 2}, {"l1-fl2", 44100, 2}, {"l1-fl3", 48000, 2}, {"l1-fl4", 32000, 1}};
    for (const auto& [name, rate, channels] : cases) {
        QW_REQUIRE_VECTOR(input, std::string(name) + ".bit");
        const qw::test::TempFile wav("quillwave-host-", ".wav"), raw("quillwave-host-", ".raw");
        const HostRun run = runHost("decode " + input + " " + wav.path);
        ASSERT_EQ(run.status, 0) << run.errors;
        ASSERT_EQ(runHost("decode " + input + " " + raw.path).status, 0);
        const auto w = qw::test::readBytes(wav.path), r = qw::test::readBytes(raw.path);
        ASSERT_EQ(w.size(), r.size() + 44) << name;
        const auto le32 = [&](size_t at) {
            return uint32_t(w[at] | w[at + 1] << 8 | w[at + 2] << 16 | w[at + 3] << 24);
        };
        EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF") << name;
        EXPECT_EQ(le32(40), r.size()) << name;
        EXPECT_EQ(le32(24), rate) << name;
        EXPECT_EQ(w[22], channels) << name;
        EXPECT_TRUE(std::equal(r.begin(), r.end(), w.begin() + 44)) << name;
        const auto reference = qw::test::readBytes(qw::test::vectorsDir() + "/" + name + ".pcm");
        const auto c = qw::test::compare(qw::test::toSamples(r), qw::test::toSamples(reference));
        EXPECT_GE(c.psnr, 96.0) << name;
        EXPECT_LE(c.maxDifference, 1) << name;
    }
}

TEST(HostDecode, LayerTwoIsRefusedFrameByFrame) {
#if defined(_WIN32)
    GTEST_SKIP() << "on Windows the refusals are system message boxes, which the host cannot count";
#endif
    QW_REQUIRE_VECTOR(input, "l2-fl13.bit");
    const qw::test::TempFile output("quillwave-host-", ".pcm");
    const HostRun run = runHost("decode " + input + " " + output.path);
    EXPECT_EQ(run.status, 2) << run.errors;  // no PCM at all
    EXPECT_TRUE(output.read().empty());
    size_t boxes = 0;
    for (size_t at = 0; (at = run.errors.find("ERROR: Layer2 Unsupported", at)) != std::string::npos; ++at) ++boxes;
    EXPECT_EQ(boxes, 49u);  // one per frame
}

TEST(HostDecode, BadInputFailsWithOneLine) {
    const qw::test::TempFile garbage("quillwave-garbage");
    std::string bytes;
    for (int i = 0; i < 4000; ++i) bytes += char(i * 7 & 0x7F);
    garbage.write(bytes);
    const std::string none = " " + testing::TempDir() + "none.wav";
    for (const auto& [arguments, error] :
         {std::pair<std::string, const char*>{garbage.path + none, "no MPEG audio frame"},
          {"/nonexistent/file.mp3" + none, "cannot read"},
          {garbage.path + " out.mp4", "output must end in .wav, .pcm or .raw"}}) {
        const HostRun run = runHost("decode " + arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_NE(run.errors.find(error), std::string::npos) << run.errors;
    }
}
