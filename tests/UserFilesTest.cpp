// Files as people have them (ID3v2 tags with and without cover art, tag padding, ID3v1, variable bitrate with its
// information frame, ffmpeg with two encoders), played by the host with both Layer III decoders and pulled through the
// recorder, against an independent reference decoder.  The only difference allowed is the silent information frame at
// the start, which the reference decoder skips; the rest must agree to rounding.  scripts/make-user-files.sh builds the
// set (sox, lame, ffmpeg, mpg123) into the build folder once; later runs reuse it.
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

// Drops a leading frame of exact silence when that is all the reference lacks.
void dropSilentInformationFrame(std::vector<int16_t>* ours, const std::vector<int16_t>& reference, size_t frameValues) {
    if (ours->size() != reference.size() + frameValues) return;
    if (std::any_of(ours->begin(), ours->begin() + long(frameValues), [](int16_t v) { return v != 0; })) return;
    ours->erase(ours->begin(), ours->begin() + long(frameValues));
}

TEST(UserFiles, HostAndRecorderMatchReferenceDecoder) {
    static const FileSet set = makeFileSet("make-user-files", "user-files");
    ASSERT_FALSE(set.files.empty()) << set.problem;
    for (const std::string& name : set.files) {
        const std::string input = set.dir + "/" + name;
        const std::vector<int16_t> reference = toSamples(readBytes(input + ".pcm"));
        // One Layer III frame of the file's kind: 1152 samples per channel at 32 kHz and above, 576 below.
        const size_t frameValues = (contains(name, "22050") ? 576 : 1152) * (contains(name, "mono") ? 1 : 2);

        const TempFile out("user-files", ".pcm");
        for (const std::string command : {"decode --decoder performance", "decode --decoder quality", "record"}) {
            SCOPED_TRACE(name + ": " + command);
            const HostRun run = runHost(command + " '" + input + "' '" + out.path + "'");
            ASSERT_EQ(run.status, 0) << run.errors;
            std::vector<int16_t> pcm = toSamples(readBytes(out.path));
            dropSilentInformationFrame(&pcm, reference, frameValues);
            ASSERT_EQ(pcm.size(), reference.size()) << "values, after a leading silent frame is allowed for";
            const Comparison c = compare(pcm, reference);
            EXPECT_LE(c.maxDifference, 1) << "LSB; PSNR " << c.psnr << " dB";
        }
    }
}

}  // namespace
}  // namespace qw::test
