// Files as people have them (ID3v2 tags with and without cover art, tag padding, ID3v1, constant, average and variable
// bitrates at the rates of the three MPEG versions, a file shorter than its encoder's delay and padding, a damaged LAME
// extension, two files joined, ffmpeg with two encoders), played by the host with both Layer III decoders and pulled
// through the recorder, against an independent reference decoder: gapless by default, to the sample; with --no-gapless
// every sample of the frames, where the only difference allowed is the silent information frame at the start, which the
// reference decoder skips.  The rest must agree to rounding.  scripts/make-user-files.sh builds the set (sox, lame,
// ffmpeg, mpg123) into the build folder once; later runs reuse it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/GeneratedFiles.h"
#include "support/HostRun.h"
#include "support/TempFile.h"
#include "support/Vectors.h"

namespace qw::test {
namespace {

const FileSet& userFiles() {
    static const FileSet set = makeFileSet("make-user-files", "user-files");
    return set;
}

// Drops a leading frame of exact silence when that is all the reference lacks.
void dropSilentInformationFrame(std::vector<int16_t>* ours, const std::vector<int16_t>& reference, size_t frameValues) {
    if (ours->size() != reference.size() + frameValues) return;
    if (std::any_of(ours->begin(), ours->begin() + long(frameValues), [](int16_t v) { return v != 0; })) return;
    ours->erase(ours->begin(), ours->begin() + long(frameValues));
}

std::vector<int16_t> pcmOf(const std::string& command, const std::string& input) {
    HostRun run;
    const std::string pcm = outputOf(command, "'" + input + "'", &run, ".pcm");
    EXPECT_EQ(run.status, 0) << command << ": " << run.errors;
    return toSamples(std::vector<uint8_t>(pcm.begin(), pcm.end()));
}

TEST(UserFiles, HostAndRecorderMatchReferenceDecoder) {
    const FileSet& set = userFiles();
    ASSERT_FALSE(set.files.empty()) << set.problem;
    for (const std::string& name : set.files) {
        const std::string input = set.dir + "/" + name;
        const std::vector<int16_t> whole = toSamples(readBytes(input + ".pcm"));
        // Delay and padding that exceed the audio cannot be true: such a file plays whole.
        const bool untrimmed = contains(name, "untrimmed");
        const std::vector<int16_t> gapless = untrimmed ? whole : toSamples(readBytes(input + ".gapless.pcm"));
        // One Layer III frame of the file's kind: 1152 samples per channel at 32 kHz and above, 576 below.
        const size_t channels = contains(name, "mono") ? 1 : 2;
        const size_t frameValues = (contains(name, "22050") || contains(name, "-8000") ? 576 : 1152) * channels;

        std::vector<int16_t> quality;
        for (const std::string command : {"decode --decoder performance", "decode --decoder quality", "record",
                                          "decode --no-gapless --decoder quality", "record --no-gapless"}) {
            SCOPED_TRACE(name + ": " + command);
            std::vector<int16_t> pcm = pcmOf(command, input);
            // The recorder decodes with the quality decoder: the same PCM, trimmed the same.
            if (contains(command, "record")) {
                EXPECT_TRUE(pcm == quality) << "record differs from decode";
            }
            if (contains(command, "quality")) quality = pcm;
            const bool played = untrimmed || contains(command, "no-gapless");
            if (played) dropSilentInformationFrame(&pcm, whole, frameValues);
            const std::vector<int16_t>& reference = played ? whole : gapless;
            ASSERT_EQ(pcm.size(), reference.size()) << "values, after a leading silent frame is allowed for";
            const Comparison c = compare(pcm, reference);
            EXPECT_LE(c.maxDifference, 1) << "LSB; PSNR " << c.psnr << " dB";
        }
        if (contains(name, "joined")) continue;  // info tells the first file's length
        const std::string said = runHost("info '" + input + "'").out;
        EXPECT_TRUE(contains(said, untrimmed ? "  gapless: none: delay 4095 and padding 4095 exceed the 2304 samples"
                                             : ", length " + std::to_string(gapless.size() / channels) + " samples\n"))
            << said;
    }
}

// After a seek the output ends where the whole file's gapless output ends, sample for sample over the last second.
// (The module takes the seek at whichever frame its thread has reached, so what comes before varies.)
TEST(UserFiles, SeekKeepsTheGaplessEnd) {
    ASSERT_FALSE(userFiles().files.empty()) << userFiles().problem;
    const std::string input = userFiles().dir + "/lame-vbr.mp3";
    const std::vector<int16_t> seeked = pcmOf("decode --decoder quality --seek 1000", input),
                               whole = pcmOf("decode --decoder quality", input);
    const long second = 2 * 44100;
    ASSERT_GT(seeked.size(), size_t(second));
    EXPECT_TRUE(std::equal(seeked.end() - second, seeked.end(), whole.end() - second));
}

// Frames of the clean decode that a damaged copy's decode gets wrong: all but the longest runs that agree with it, to
// rounding, at the start and at the end.  A copy cut in front is held against the clean decode's end only.
double framesWrong(const std::vector<int16_t>& ours, const std::vector<int16_t>& clean, bool cutInFront) {
    const auto same = [](int a, int b) { return std::abs(a - b) <= 1; };
    const size_t n = std::min(ours.size(), clean.size());
    size_t start = 0, end = 0;
    while (!cutInFront && start < n && same(ours[start], clean[start])) ++start;
    while (end < n - start && same(ours[ours.size() - 1 - end], clean[clean.size() - 1 - end])) ++end;
    const size_t wrong = cutInFront ? ours.size() - end : std::max(ours.size(), clean.size()) - start - end;
    return double(wrong) / (1152 * 2);
}

// Copies of a clean file as damage leaves them play through: cut at a random byte (a capture that starts mid-frame),
// random bytes before the audio (a broken download), random bytes over the middle (a bad sector).  The host and the
// recorder start at the same frame; in the middle the recorder skips what it rejects where the host searches afresh.
TEST(UserFiles, DamagedCopiesPlayThrough) {
    ASSERT_FALSE(userFiles().files.empty()) << userFiles().problem;
    const std::string cleanPath = userFiles().dir + "/lame-id3v1.mp3", cleanBytes = TempFile::contents(cleanPath);
    const std::vector<int16_t> clean = pcmOf("decode --no-gapless --decoder quality", cleanPath);
    std::mt19937 random(20);
    const auto junk = [&](size_t bytes) {
        std::string text(bytes, '\0');
        for (char& c : text) c = char(random());
        return text;
    };
    struct Case {
        std::string kind, bytes;
        double framesAllowed;
    };
    std::vector<Case> cases;
    for (int i = 0; i < 3; ++i) {
        const size_t cut = 1000 + random() % (cleanBytes.size() / 2), at = cleanBytes.size() / 3 + cut / 2;
        cases.push_back({"cut at " + std::to_string(cut), cleanBytes.substr(cut), 4});
        cases.push_back({"junk before", junk(3000) + cleanBytes, 2});
        cases.push_back(
            {"junk at " + std::to_string(at), cleanBytes.substr(0, at) + junk(2048) + cleanBytes.substr(at + 2048), 8});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const TempFile file("user-files-damaged-", ".mp3");
        file.write(c.bytes);
        const bool cut = contains(c.kind, "cut"), middle = contains(c.kind, "junk at");
        const std::vector<int16_t> decoded = pcmOf("decode --no-gapless --decoder quality", file.path),
                                   recorded = pcmOf("record --no-gapless", file.path);
        ASSERT_FALSE(decoded.empty());
        EXPECT_LE(framesWrong(decoded, clean, cut), c.framesAllowed) << "decode";
        EXPECT_LE(framesWrong(recorded, clean, cut), c.framesAllowed) << "record";
        EXPECT_TRUE(middle || recorded == decoded) << "record differs from decode";
    }

    HostRun run;
    // A loud steady low tone holds values that Best Performance rejects by design: it says what it dropped.
    const TempFile wave("user-files-tone-", ".wav"), tone("user-files-tone-", ".mp3");
    ASSERT_EQ(std::system(("sox -n -r 44100 -c 2 -b 16 " + wave.path +
                           " synth 3 sine 100 gain -0.1 && lame --quiet -b 128 " + wave.path + " " + tone.path)
                              .c_str()),
              0);
    run = runHost("decode --decoder performance " + tone.path + " " + wave.path);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(contains(run.errors, "ms of " + tone.path + " gave no audio: Best Performance rejects")) << run.errors;
    EXPECT_FALSE(contains(runHost("decode --decoder quality " + tone.path + " " + wave.path).errors, "warning"));
}

}  // namespace
}  // namespace qw::test
