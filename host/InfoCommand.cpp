// quillwave info: what the module tells about a file while it plays, through
// its song information and its file-information dialog.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/Gapless.h"
#include "host/MessageBoxes.h"
#include "host/Module.h"
#include "host/PlayerHost.h"
#include "platform/platform.h"
#include "quillwave/dialog.h"

namespace qw::host {

namespace {

// The first block of PCM holds the decoding thread until the information has
// been read, so that it still describes the playing stream; then playback ends.
std::atomic<bool> outputHeld{false};
std::atomic<bool> releaseOutput{false};

int32_t QW_CALL holdOutput(QwHandle, const PcmBlock*) {
    outputHeld = true;
    while (!releaseOutput) sys::sleepMs(1);
    return 0;
}

// Prints a text of several lines (separated by \n or \r\n), each indented.
void printLines(const std::string& text, const char* indent) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::printf("%s%s\n", indent, line.c_str());
        start = end + 1;
    }
}

void printSongInfo(PlayerContext& context) {
    SongInfo song{};
    const int32_t answer = context.pluginSongInfo(&context, &song);
    std::printf("Song information\n");
    if (answer != 1) {
        std::printf("  none: the module has no stream information\n");
        return;
    }
    std::printf("  artist:  %s\n", song.artist != nullptr ? song.artist : "(no tag)");
    std::printf("  title:   %s\n", song.title != nullptr ? song.title : "(no tag)");
    std::printf("  format:\n");
    printLines(song.formatText, "    ");
    std::printf("  bitrate: %s\n", song.bitrateText);
    std::printf("  length:  %u ms\n", song.lengthMs);
}

}  // namespace

void printTagFields(const ModuleDialogs& dialogs, DialogWindow dialog) {
    std::printf("  artist:  %s\n", dialogs.text(dialog, QW_ITEM_ARTIST).c_str());
    std::printf("  title:   %s\n", dialogs.text(dialog, QW_ITEM_TITLE).c_str());
    std::printf("  album:   %s\n", dialogs.text(dialog, QW_ITEM_ALBUM).c_str());
    std::printf("  comment: %s\n", dialogs.text(dialog, QW_ITEM_COMMENT).c_str());
    std::printf("  year:    %s\n", dialogs.text(dialog, QW_ITEM_YEAR).c_str());
    const int32_t genre = dialogs.comboSelection(dialog, QW_ITEM_GENRE);
    std::string name;
    if (genre < 0 || !dialogs.comboItemText(dialog, QW_ITEM_GENRE, genre, &name)) {
        std::printf("  genre:   (none)\n");
    } else {
        std::printf("  genre:   %s (%d)\n", name.c_str(), int(genre));
    }
}

namespace {

void printDialog(const ModuleDialogs& dialogs, DialogWindow dialog) {
    std::printf("File information dialog\n");
    std::printf("  path:    %s\n", dialogs.text(dialog, QW_ITEM_PATH).c_str());
    printTagFields(dialogs, dialog);
    std::printf("  status:  %s\n", dialogs.text(dialog, QW_ITEM_STATUS).c_str());
    std::printf("  stream properties:\n");
    printLines(dialogs.text(dialog, QW_ITEM_PROPERTIES), "    ");
}

}  // namespace

int infoCommand(const Options& options) {
    Arguments arguments;
    std::string error;
    if (!parseArguments(options, {{"--show", false}}, &arguments, &error)) return fail(error + usageHint);
    const bool show = arguments.has("--show");
    const std::vector<std::string>& files = arguments.operands;
    if (files.size() != 1) return fail("info needs INPUT" + std::string(usageHint));
    if (const std::string problem = inputProblem(files[0]); !problem.empty()) return fail(problem);

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.extendedInfo) return fail("the module has no file-information dialog", 2);
    const ModuleDialogs dialogs(module);

    PlayerHost player(module, options.ini);
    if (!player.openInput(files[0])) return fail("cannot read " + files[0]);
    if (!player.input().audioFound()) return fail("no MPEG audio frame found in " + files[0], 2);
    const GaplessInfo gapless = readInformationFrame(player.input());
    player.context().writeOutput = holdOutput;
    MessageBoxes boxes(module);
    if (!player.initialise()) return fail("the module did not initialise", 2);
    if (!player.start()) return fail("the module could not start its decoding thread", 2);
    while (!outputHeld && !player.ended) sys::sleepMs(1);

    auto finish = [&](int status) {
        releaseOutput = true;
        player.stop();
        player.shutdown();
        return status;
    };
    if (!outputHeld) {
        // The stream ended without a block of PCM: the module refused its
        // frames (Layer II), with its messages meanwhile.
        finish(0);
        boxes.report();
        if (player.infoRequests == 0) return fail("no MPEG audio frame found in " + files[0], 2);
        return fail("the module decoded no PCM from " + files[0] + " (its frames are Layer " +
                        std::to_string(player.layer) + ")",
                    2);
    }

    std::printf("%s\n", files[0].c_str());
    const InputFile& input = player.input();
    if (input.seekable()) {
        std::printf("  size:    %llu bytes\n", static_cast<unsigned long long>(input.tagBytes() + input.size()));
    }
    if (input.tagCount() == 1) {
        std::printf("  ID3v2:   tag of %llu bytes skipped\n", static_cast<unsigned long long>(input.tagBytes()));
    } else if (input.tagCount() > 1) {
        std::printf("  ID3v2:   %u tags of %llu bytes skipped\n", input.tagCount(),
                    static_cast<unsigned long long>(input.tagBytes()));
    }
    if (input.skippedBytes() > 0) {
        std::printf("  junk:    %llu bytes of unrecognised data skipped before the first frame\n",
                    static_cast<unsigned long long>(input.skippedBytes()));
    }
    std::printf("  gapless: %s\n", describeGapless(gapless).c_str());
    printSongInfo(player.context());

    if (files[0] == "-" || !input.seekable()) {
        // The dialog opens the file by its path a second time, which would
        // block on a FIFO or read nothing of a pipe; standard input has no
        // path at all.
        std::printf("File information dialog\n  skipped: it opens the file a second time, which %s cannot be\n",
                    files[0] == "-" ? "standard input" : "a pipe, FIFO or device");
        return finish(0);
    }

    if (!dialogs.available()) return finish(fail("the module gives no access to its dialogs", 2));
    uint32_t result = 1;
    module.extendedInfo(0, &result, &player.context());
    const DialogWindow dialog = dialogs.find(QW_FILE_INFO_CAPTION);
    if (dialog == nullptr) return finish(fail("the module opened no file-information dialog", 2));
    printDialog(dialogs, dialog);
    std::fflush(stdout);
    // With --show the dialog stays up for the user, and playback stays held,
    // until it is closed.  A headless dialog (Linux) has no user: it is listed
    // and closed as without --show.
    if (show && dialogs.runUntilClosed(dialog)) return finish(0);
    if (show) std::fprintf(stderr, "quillwave: no display here: the dialog is headless and closes at once\n");
    dialogs.click(dialog, QW_ITEM_CLOSE);
    return finish(0);
}

}  // namespace qw::host
