// quillwave decode: plays a file through the module into WAV or raw PCM.
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/Commands.h"
#include "host/Gapless.h"
#include "host/MessageBoxes.h"
#include "host/Module.h"
#include "host/PcmWriter.h"
#include "host/PlayerHost.h"
#include "host/Settings.h"
#include "platform/platform.h"

namespace qw::host {

namespace {

std::string seconds(uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                  static_cast<unsigned long long>(ms % 1000));
    return text;
}

// Warnings about audio the stream holds and the output lacks: frames the
// module took and rejected, and a large part at the end that gave no audio
// at all (a second stream of another sample rate, which the frame search
// skips, or damage it never got past).  The exit status stays.
void reportMissingAudio(const PlayerHost& player, const std::string& input, bool performance, bool seeked) {
    const uint64_t frames = player.channels ? player.valuesReceived / player.channels : 0;
    const uint64_t receivedMs = player.sampleRate ? frames * 1000 / player.sampleRate : 0;
    // Each block tells the playing time of every frame taken so far; after a
    // seek it counts from the seek, so only a decode from the start compares.
    const int64_t droppedMs = int64_t(player.positionMs) - int64_t(receivedMs);
    if (!seeked && droppedMs > 1) {
        warn(std::to_string(droppedMs) + " ms of " + input + " gave no audio: " +
             (performance && player.layer == 3
                  ? "Best Performance rejects frames that hold values of 8192 or more; --decoder quality keeps them"
                  : "the module rejected frames it could not decode"));
    }
    const InputFile& in = player.input();
    const uint64_t start = in.tagBytes() + in.skippedBytes();
    const uint64_t streamBytes = in.seekable() ? in.size() : in.position();
    const uint64_t unheard = streamBytes > player.audioEnd ? streamBytes - player.audioEnd : 0;
    if (unheard > 65536 && unheard > (start + streamBytes) / 10) {
        warn("bytes " + std::to_string(start + player.audioEnd) + " to " + std::to_string(start + streamBytes) +
             " of " + input + " gave no audio; the decode ends at " + seconds(receivedMs));
    }
}

}  // namespace

int decodeCommand(const Options& options) {
    Arguments arguments;
    std::string error;
    if (!parseArguments(options, {{"--decoder", true}, {"--seek", true}, {"--no-gapless", false}}, &arguments,
                        &error)) {
        return fail(error + usageHint);
    }
    const std::string* decoder = arguments.value("--decoder");
    if (decoder && *decoder != "performance" && *decoder != "quality") {
        return fail("--decoder takes performance or quality, not " + *decoder);
    }
    const std::string* seek = arguments.value("--seek");
    uint64_t seekMs = 0;
    if (seek && !parseNumber(*seek, INT32_MAX, &seekMs)) {
        return fail("--seek takes a position in whole milliseconds, not " + *seek);
    }
    if (arguments.operands.size() != 2) return fail("decode needs INPUT and OUTPUT" + std::string(usageHint));
    const std::string &input = arguments.operands[0], &output = arguments.operands[1];
    if (const std::string problem = inputProblem(input); !problem.empty()) return fail(problem);
    if (seek && InputFile::isReadOnce(input)) {
        return fail("--seek needs an input that can seek; " + (input == "-" ? std::string("standard input") : input) +
                    " is read once from start to end");
    }

    // The output is made with the first PCM: a decode that yields none
    // leaves no file, and an older file of that name as it was.
    PcmWriter writer;
    if (!writer.open(output)) return fail(writer.error());

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);

    // --decoder holds for this run only: the module reads a settings file of
    // this run's own.
    TemporarySettings runSettings;
    std::string ini = options.ini;
    if (decoder) {
        if (!runSettings.create(*decoder == "quality" ? 1 : 0)) return fail("cannot write a temporary settings file");
        ini = runSettings.path();
    }
    const bool performance = sys::profileInt("Quillwave", "Decoder", 0, ini.c_str()) == 0;

    PlayerHost player(module, ini);
    if (!player.openInput(input)) return fail("cannot read " + input);
    if (!player.input().audioFound()) return fail("no MPEG audio frame found in " + input, 2);
    GaplessTrimmer trimmer(writer,
                           arguments.has("--no-gapless") ? GaplessInfo{} : readInformationFrame(player.input()));
    player.setWriter(&trimmer);

    MessageBoxes boxes(module);
    if (!player.initialise()) return fail("the module did not initialise", 2);
    if (seek) player.seekAtStart(int32_t(seekMs));
    if (!player.start()) return fail("the module could not start its decoding thread", 2);
    player.waitForEnd(true);
    player.stop();
    player.shutdown();
    boxes.report();

    if (!writer.close() || player.writeFailed) {
        writer.discard();
        return fail(writer.error().empty() ? "cannot write " + output : writer.error());
    }
    if (player.formatChanged) {
        return fail("the sample rate changes from " + std::to_string(player.sampleRate) + " to " +
                        std::to_string(player.changedRate) + " Hz at " + std::to_string(player.positionMs) +
                        " ms; the output ends there",
                    3);
    }
    // Gapless trimming may leave nothing of a stream shorter than what the
    // encoder added: that is a decode of no samples, not a failure.
    if (trimmer.bytesReceived() == 0) {
        // The host found frames, so a seek that left none lies past the last.
        if (seek && player.layer != 2) {
            // After a seek the module decodes a few frames only to settle its
            // state, so a seek into the last of them gives nothing either.
            const std::string length = " (" + std::to_string(player.lengthMs) + " ms)";
            return fail(int64_t(seekMs) >= player.lengthMs
                            ? "--seek " + *seek + " lies past the end of " + input + length
                            : "--seek " + *seek + " leaves no audio: after a seek the module settles on a few " +
                                  "frames it does not hand over, and " + input + length + " ends within them");
        }
        // The module has shown its own messages meanwhile.
        if (player.outputsOpened == 0) return fail("no MPEG audio frame found in " + input, 2);
        return fail(
            "the module decoded no PCM from " + input + " (its frames are Layer " + std::to_string(player.layer) + ")",
            2);
    }
    const uint64_t frames = writer.bytesWritten() / 2 / player.channels;
    std::fprintf(stderr, "%s: %u Hz, %u channel%s, %s decoded\n", input.c_str(), player.sampleRate, player.channels,
                 player.channels == 1 ? "" : "s", seconds(frames * 1000 / player.sampleRate).c_str());
    reportMissingAudio(player, input, performance, seek != nullptr);
    return 0;
}

}  // namespace qw::host
