// Files as people have them (ID3v2 tags with and without cover art, tag padding, ID3v1, constant, average and variable
// bitrates at the rates of the three MPEG versions, a file shorter than its encoder's delay and padding, a damaged LAME
// extension, two files joined, ffmpeg with two encoders), played by the host with both Layer III decoders and pulled
// through the recorder, against an independent reference decoder: gapless by default, to the sample; with --no-gapless
// every sample of the frames, where the only difference allowed is the silent information frame at the start, which the
// reference decoder skips.  The rest must agree to rounding.  scripts/make-user-files.sh builds the set (sox, lame,
// ffmpeg, mpg123) into the build folder once; later runs reuse it.
#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
}  // namespace qw::test
