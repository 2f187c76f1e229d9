// quillwave decode: plays a file through the module into WAV or raw PCM.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/Gapless.h"
#include "host/Module.h"
#include "host/PcmWriter.h"
#include "host/PlayerHost.h"
#include "host/Settings.h"

namespace qw::host {

int decodeCommand(const Options& options) {
    std::string decoder;
    int32_t seekMs = -1;
    bool gapless = true;
    std::vector<std::string> files;
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        if (a == "--decoder" && i + 1 < options.args.size()) {
            decoder = options.args[++i];
            if (decoder != "performance" && decoder != "quality") return fail("--decoder takes performance or quality");
        } else if (a == "--seek" && i + 1 < options.args.size()) {
            seekMs = std::atoi(options.args[++i].c_str());
        } else if (a == "--no-gapless") {
            gapless = false;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return fail("unknown option " + a + "\n" + usage);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) return fail(std::string("decode needs INPUT and OUTPUT\n") + usage);

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);

    // --decoder holds for this run only: the module reads a settings file of
    // this run's own.
    TemporarySettings runSettings;
    std::string ini = options.ini;
    if (!decoder.empty()) {
        if (!runSettings.create(decoder == "quality" ? 1 : 0)) return fail("cannot write a temporary settings file");
        ini = runSettings.path();
    }

    PlayerHost player(module, ini);
    if (!player.openInput(files[0])) return fail("cannot read " + files[0]);
    PcmWriter writer;
    if (!writer.open(files[1])) return fail(writer.error());
    GaplessTrimmer trimmer(writer, gapless ? readInformationFrame(files[0]) : GaplessInfo{});
    player.setWriter(&trimmer);

    if (!player.initialise()) return fail("the module did not initialise", 2);
    if (!player.start()) return fail("the module could not start its decoding thread", 2);
    if (seekMs >= 0) player.seek(seekMs);
    player.waitForEnd(true);
    player.stop();
    const uint32_t layer = player.state() ? player.state()->layer : 0;
    player.shutdown();

    const bool written = writer.close();
    if (!written || player.writeFailed) return fail("cannot write " + files[1]);
    // No PCM at all is a failure of its own (status 2), told in one line; the
    // module has shown its own messages meanwhile.
    if (player.outputsOpened == 0) return fail("no MPEG audio frame found in " + files[0], 2);
    if (trimmer.bytesReceived() == 0 && !player.formatChanged) {
        return fail("the module decoded no PCM from " + files[0] + " (the frames it found are Layer " +
                        std::to_string(layer) + ")",
                    2);
    }
    if (player.formatChanged) {
        return fail("the sample rate changes from " + std::to_string(player.sampleRate) + " to " +
                        std::to_string(player.changedRate) + " Hz at " + std::to_string(player.positionMs) +
                        " ms; the output ends there",
                    3);
    }
    const uint64_t values = writer.bytesWritten() / 2;
    const uint64_t frames = player.channels ? values / player.channels : 0;
    const uint64_t ms = player.sampleRate ? frames * 1000 / player.sampleRate : 0;
    std::fprintf(stderr, "%s: %u Hz, %u channel%s, %llu.%03llu s decoded\n", files[0].c_str(), player.sampleRate,
                 player.channels, player.channels == 1 ? "" : "s", static_cast<unsigned long long>(ms / 1000),
                 static_cast<unsigned long long>(ms % 1000));
    return 0;
}

}  // namespace qw::host
