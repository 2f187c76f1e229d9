// quillwave tag: edits a file's ID3v1 tag the way a user would, in the
// module's file-information dialog.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "host/Commands.h"
#include "host/InputFile.h"
#include "host/Module.h"
#include "host/PlayerHost.h"
#include "quillwave/dialog.h"

namespace qw::host {

namespace {

bool sameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The list position of a genre given by number or by name (any case), or -1.
int32_t findGenre(const ModuleDialogs& dialogs, DialogWindow dialog, const std::string& genre) {
    const int32_t count = dialogs.comboCount(dialog, QW_ITEM_GENRE);
    char* end = nullptr;
    const long number = std::strtol(genre.c_str(), &end, 10);
    if (!genre.empty() && *end == '\0') return number >= 0 && number < count ? int32_t(number) : -1;
    for (int32_t i = 0; i < count; ++i) {
        std::string name;
        if (dialogs.comboItemText(dialog, QW_ITEM_GENRE, i, &name) && sameText(name, genre)) return i;
    }
    return -1;
}

// Whether the file ends in an ID3v1 tag; the dialog shows defaults otherwise.
bool hasId3v1Tag(const std::string& path) {
    InputFile input;
    char mark[3] = {};
    return input.open(path) && input.size() >= 128 && input.seek(input.size() - 128) &&
           input.read(mark, sizeof mark) == sizeof mark && std::string(mark, sizeof mark) == "TAG";
}

}  // namespace

int tagCommand(const Options& options) {
    std::vector<std::pair<int32_t, std::string>> fields;
    std::string genre;
    bool wipe = false;
    std::vector<std::string> files;
    const std::pair<const char*, int32_t> fieldOptions[] = {{"--artist", QW_ITEM_ARTIST},
                                                            {"--title", QW_ITEM_TITLE},
                                                            {"--album", QW_ITEM_ALBUM},
                                                            {"--year", QW_ITEM_YEAR},
                                                            {"--comment", QW_ITEM_COMMENT}};
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        bool taken = false;
        for (const auto& option : fieldOptions) {
            if (a == option.first && i + 1 < options.args.size()) {
                fields.emplace_back(option.second, options.args[++i]);
                taken = true;
            }
        }
        if (taken) continue;
        if (a == "--genre" && i + 1 < options.args.size()) {
            genre = options.args[++i];
        } else if (a == "--wipe") {
            wipe = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a + "\n" + usage);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 1) return fail(std::string("tag needs INPUT\n") + usage);
    if (wipe && (!fields.empty() || !genre.empty())) return fail("--wipe takes no field to set");
    // The dialog opens the file by its path, to read and to write.
    if (InputFile::isReadOnce(files[0]))
        return fail("tag needs a regular file: " + files[0] + " can be read only once");
    const bool change = wipe || !fields.empty() || !genre.empty();

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.extendedInfo) return fail("the module has no file-information dialog", 2);
    const ModuleDialogs dialogs(module);
    if (!dialogs.available()) return fail("the module gives no access to its dialogs", 2);

    // The dialog asks the host for the current file's path: INPUT, readable
    // or not (the dialog itself says when it cannot edit the file).
    PlayerHost player(module, options.ini);
    player.setInputPath(files[0]);
    if (!player.initialise()) return fail("the module did not initialise", 2);
    uint32_t result = 1;
    module.extendedInfo(0, &result, &player.context());
    const DialogWindow dialog = dialogs.find(QW_FILE_INFO_CAPTION);
    if (dialog == nullptr) return fail("the module opened no file-information dialog", 2);

    auto finish = [&](int status) {
        dialogs.click(dialog, QW_ITEM_CLOSE);
        player.shutdown();
        return status;
    };

    const int32_t button = wipe ? QW_ITEM_WIPE : QW_ITEM_SAVE;
    if (!dialogs.enabled(dialog, button)) {
        std::printf("%s\n", dialogs.text(dialog, QW_ITEM_STATUS).c_str());
        return finish(1);
    }
    if (!change) {
        // Without a field to set, the tag is shown and the file left as it is.
        if (hasId3v1Tag(files[0])) {
            printTagFields(dialogs, dialog);
        } else {
            std::printf("no ID3v1 tag\n");
        }
        return finish(0);
    }
    for (const auto& field : fields) dialogs.setText(dialog, field.first, field.second);
    if (!genre.empty()) {
        const int32_t index = findGenre(dialogs, dialog, genre);
        if (index < 0) return finish(fail("unknown genre " + genre));
        dialogs.comboSetSelection(dialog, QW_ITEM_GENRE, index);
    }
    dialogs.click(dialog, button);

    const std::string status = dialogs.text(dialog, QW_ITEM_STATUS);
    std::printf("%s\n", status.c_str());
    return finish(status == QW_STATUS_SAVED || status == QW_STATUS_WIPED ? 0 : 1);
}

}  // namespace qw::host
