// quillwave info: what the module tells about a file while it plays, through
// its song information and its file-information dialog.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "host/Commands.h"
#include "host/Module.h"
#include "host/PlayerHost.h"
#include "platform/platform.h"
#include "tag/DialogTemplate.h"

namespace qw::host {

ModuleDialogs::ModuleDialogs(const std::string& modulePath) {
#if !defined(_WIN32)
    // Under Linux the module is a shared object with a copy of the platform
    // layer of its own, headless dialog manager included, which it hands out
    // by this name.  Loading the file again gives the module already loaded.
    library = sys::loadLibrary(modulePath.c_str());
    using ManagerFn = void* (*)();
    auto manager = reinterpret_cast<ManagerFn>(sys::librarySymbol(library, "HeadlessDialogManager"));
    if (manager != nullptr) sys::useDialogManager(static_cast<sys::DialogManager*>(manager()));
#else
    // The window manager is the system's: every module's windows are ours to see.
    (void)modulePath;
#endif
}

ModuleDialogs::~ModuleDialogs() {
#if !defined(_WIN32)
    sys::useDialogManager(nullptr);
    if (library != nullptr) sys::freeLibrary(library);
#endif
}

std::string dialogItemText(sys::Handle dialog, int32_t id) {
    char text[2048];
    sys::getItemText(dialog, id, text, sizeof text);
    return text;
}

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

void printTagFields(sys::Handle dialog) {
    std::printf("  artist:  %s\n", dialogItemText(dialog, item::artist).c_str());
    std::printf("  title:   %s\n", dialogItemText(dialog, item::title).c_str());
    std::printf("  album:   %s\n", dialogItemText(dialog, item::album).c_str());
    std::printf("  comment: %s\n", dialogItemText(dialog, item::comment).c_str());
    std::printf("  year:    %s\n", dialogItemText(dialog, item::year).c_str());
    const int32_t genre = sys::comboSelection(dialog, item::genre);
    char name[256] = "";
    if (genre == sys::comboError || sys::comboItemText(dialog, item::genre, genre, name, sizeof name) < 0) {
        std::printf("  genre:   (none)\n");
    } else {
        std::printf("  genre:   %s (%d)\n", name, int(genre));
    }
}

namespace {

void printDialog(sys::Handle dialog) {
    std::printf("File information dialog\n");
    std::printf("  path:    %s\n", dialogItemText(dialog, item::path).c_str());
    printTagFields(dialog);
    std::printf("  status:  %s\n", dialogItemText(dialog, item::status).c_str());
    std::printf("  stream properties:\n");
    printLines(dialogItemText(dialog, item::properties), "    ");
}

}  // namespace

int infoCommand(const Options& options) {
    std::vector<std::string> files;
    bool show = false;
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        if (a == "--show") {
            show = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') return fail("unknown option " + a + "\n" + usage);
        files.push_back(a);
    }
    if (files.size() != 1) return fail(std::string("info needs INPUT\n") + usage);

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.extendedInfo) return fail("the module has no file-information dialog", 2);
    ModuleDialogs dialogs(options.plugin);

    PlayerHost player(module, options.ini);
    if (!player.openInput(files[0])) return fail("cannot read " + files[0]);
    player.context().writeOutput = holdOutput;
    if (!player.initialise()) return fail("the module did not initialise", 2);
    if (!player.start()) return fail("the module could not start its decoding thread", 2);
    while (!outputHeld && !player.ended) sys::sleepMs(1);

    auto finish = [&](int status) {
        releaseOutput = true;
        player.stop();
        player.shutdown();
        return status;
    };
    if (player.infoRequests == 0) return finish(fail("no MPEG audio frame found in " + files[0], 2));

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
    printSongInfo(player.context());

    if (!input.seekable()) {
        // The dialog opens the file by its path a second time, which would
        // block on a FIFO or read nothing of a pipe.
        std::printf("File information dialog\n  skipped: it opens the file a second time, which %s cannot be\n",
                    files[0] == "-" ? "standard input" : "a pipe, FIFO or device");
        return finish(0);
    }

    uint32_t result = 1;
    module.extendedInfo(0, &result, &player.context());
    sys::Handle dialog = sys::findWindow(fileInfoCaption);
    if (dialog == nullptr) return finish(fail("the module opened no file-information dialog", 2));
    printDialog(dialog);
    std::fflush(stdout);
    // With --show the dialog stays up for the user, and playback stays held,
    // until it is closed.  A headless dialog (Linux) has no user: it is listed
    // and closed as without --show.
    if (show && sys::runUntilDestroyed(dialog)) return finish(0);
    if (show) std::fprintf(stderr, "quillwave: no display here: the dialog is headless and closes at once\n");
    sys::clickItem(dialog, item::close);
    return finish(0);
}

}  // namespace qw::host
