// quillwave record: pulls a file's PCM through the module's recorder interface.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/Gapless.h"
#include "host/InputFile.h"
#include "host/MessageBoxes.h"
#include "host/Module.h"
#include "host/PcmWriter.h"
#include "host/StreamFormat.h"

namespace qw::host {

int recordCommand(const Options& options) {
    Arguments arguments;
    std::string error;
    if (!parseArguments(options, {{"--chunk", true}, {"--no-gapless", false}}, &arguments, &error)) {
        return fail(error + usageHint);
    }
    uint64_t chunk = 16384;
    if (const std::string* value = arguments.value("--chunk");
        value && (!parseNumber(*value, 1 << 24, &chunk) || chunk == 0)) {
        return fail("--chunk takes a size from 1 to 16777216 bytes, not " + *value);
    }
    const std::vector<std::string>& files = arguments.operands;
    if (files.size() != 2) return fail("record needs INPUT and OUTPUT" + std::string(usageHint));
    if (const std::string problem = inputProblem(files[0]); !problem.empty()) return fail(problem);

    // The recorder opens INPUT itself and rewinds it to measure its duration,
    // and the host opens it again for its format: a pipe or FIFO cannot be
    // read that way, and opening a FIFO twice would wait for a second writer.
    if (InputFile::isReadOnce(files[0])) {
        return fail("record needs a regular file: " + files[0] + " can be read only once");
    }

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.createRecorder) return fail("the module has no recorder interface", 2);

    // The module turns the wide path back into the system's multi-byte form,
    // in the same locale.  Where the user's locale cannot spell the path (no
    // locale set: plain ASCII), file names are taken as UTF-8.
    std::setlocale(LC_CTYPE, "");
    std::vector<wchar_t> widePath(files[0].size() + 1);
    if (std::mbstowcs(widePath.data(), files[0].c_str(), widePath.size()) == size_t(-1) &&
        (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr ||
         std::mbstowcs(widePath.data(), files[0].c_str(), widePath.size()) == size_t(-1))) {
        return fail("cannot convert the path " + files[0]);
    }

    void* object = nullptr;
    if (module.createRecorder(&object) != QW_RESULT_OK || !object) return fail("the module made no recorder", 2);
    auto* recorder = static_cast<RecorderInterface*>(object);
    const RecorderInterfaceTable* call = recorder->table;
    auto finish = [&](int status) {
        call->closeFile(recorder, recorder);
        call->destroy(recorder, recorder);
        return status;
    };

    if (call->openFile(recorder, recorder, widePath.data()) != QW_RESULT_OK) {
        return finish(fail("cannot open " + files[0]));
    }
    double durationMs = 0;
    call->getDuration(recorder, recorder, &durationMs);

    // The host finds the stream's start as the recorder's file stream does.
    InputFile input;
    StreamFormat format;
    if (!input.open(files[0]) || !readStreamFormat(input, &format) || durationMs <= 0) {
        return finish(fail("no MPEG audio frame found in " + files[0], 2));
    }
    std::fprintf(stderr, "%s: duration %.3f ms\n", files[0].c_str(), durationMs);
    PcmWriter writer;
    if (!writer.open(files[1])) return finish(fail(writer.error()));
    // The information frame gives the frame count and, unless --no-gapless, what to trim.
    const GaplessInfo found = readInformationFrame(input);
    GaplessTrimmer trimmer(writer, arguments.has("--no-gapless") ? GaplessInfo{} : found);
    trimmer.setFormat(format.sampleRate, format.channels);

    std::vector<uint8_t> buffer(chunk);
    if (format.layer == 2) {
        // Layer II yields no PCM, only the module's messages: one pull shows
        // them, and nothing is written.
        MessageBoxes boxes(module);
        call->decode(recorder, recorder, buffer.data(), uint32_t(chunk));
        boxes.report();
    } else {
        // decode always fills the whole buffer, with silence past the end of
        // the file: the duration says where the stream's PCM ends.  It is a
        // sum of frame durations held as floats, so it is taken to the
        // nearest whole frame.  Its scan looks for each next header across
        // the side information, where a false header can win or lose a frame
        // or two in a long file; the information frame's count is exact and
        // rules when the two are that close.  A scan far from it is believed:
        // a file cut short, or files joined end to end.
        const uint64_t samplesPerFrame = format.samplesPerFrame();
        uint64_t frames = uint64_t(std::llround(durationMs * format.sampleRate / 1000.0 / double(samplesPerFrame)));
        if (found.frames > 0) {
            const uint64_t announced = uint64_t(found.frames) + 1, near = 2 + announced / 1000;
            if (frames + near >= announced && frames <= announced + near) frames = announced;
        }
        const uint64_t total = frames * samplesPerFrame * format.channels * 2;
        for (uint64_t written = 0; written < total;) {
            call->decode(recorder, recorder, buffer.data(), uint32_t(chunk));
            const uint32_t take = uint32_t(std::min<uint64_t>(chunk, total - written));
            if (!trimmer.write(buffer.data(), take)) break;
            written += take;
        }
    }
    if (!writer.close()) {
        writer.discard();
        return finish(fail(writer.error().empty() ? "cannot write " + files[1] : writer.error()));
    }
    if (format.layer == 2) {
        return finish(fail("the module decoded no PCM from " + files[0] + " (its frames are Layer 2)", 2));
    }
    return finish(0);
}

}  // namespace qw::host
