// quillwave tag: edits a file's ID3v1 tag the way a user would, in the
// module's file-information dialog.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "host/Commands.h"
#include "host/InputFile.h"
#include "host/Module.h"
#include "host/PlayerHost.h"
#include "platform/platform.h"
#include "quillwave/dialog.h"

namespace qw::host {

namespace {

// The tag's text fields: the option that sets each, its control in the
// dialog, and where the module stores it among the tag's 128 bytes.
struct TagField {
    const char* option;
    int32_t item;
    uint32_t offset;
    uint32_t width;
};
const TagField tagFields[] = {{"--title", QW_ITEM_TITLE, 3, 30},
                              {"--artist", QW_ITEM_ARTIST, 33, 30},
                              {"--album", QW_ITEM_ALBUM, 63, 30},
                              {"--year", QW_ITEM_YEAR, 93, 4},
                              {"--comment", QW_ITEM_COMMENT, 97, 30}};
constexpr uint32_t tagSize = 128;
constexpr uint32_t trackOffset = 126;  // behind a zero, the comment's last byte is a track number in many tags
constexpr uint32_t genreOffset = 127;

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

// A file's size and the bytes in which the module looks for its tag: the last
// 128, or what a read from the start gives in a shorter file.
struct FileEnd {
    bool read = false;
    uint64_t size = 0;
    std::string bytes;

    // The module's view of them: a tag begins with "TAG" in any case.
    bool tagged() const { return bytes.size() >= 3 && sameText(bytes.substr(0, 3), "TAG"); }
    uint8_t at(uint32_t offset) const { return offset < bytes.size() ? uint8_t(bytes[offset]) : 0; }
};

FileEnd readEnd(const std::string& path) {
    FileEnd end;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return end;
    end.size = uint64_t(in.tellg());
    in.seekg(end.size >= tagSize ? std::streamoff(end.size - tagSize) : 0);
    end.bytes.resize(tagSize);
    in.read(&end.bytes[0], tagSize);
    end.bytes.resize(size_t(in.gcount()));
    end.read = true;
    return end;
}

// A value as its field holds it: cut to the field's width, but never inside a
// UTF-8 character (a lead byte and up to three continuation bytes).
std::string fitted(const std::string& value, uint32_t width) {
    if (value.size() <= width) return value;
    size_t lead = width;
    while (lead > 0 && width - lead < 3 && (uint8_t(value[lead]) & 0xC0) == 0x80) --lead;
    return value.substr(0, lead < width && (uint8_t(value[lead]) & 0xC0) == 0xC0 ? lead : width);
}

std::string genreText(const ModuleDialogs& dialogs, DialogWindow dialog, int32_t index) {
    std::string name;
    dialogs.comboItemText(dialog, QW_ITEM_GENRE, index, &name);
    return name + " (" + std::to_string(index) + ")";
}

// Warns of what a save changed that the user did not ask for.  The dialog's
// genre list has no entry for "no genre" (it shows a genre byte beyond the
// list as Blues, 0), and its comment is 30 characters of text, with no room
// for a track number.
void warnUnasked(const FileEnd& before, const FileEnd& after, bool genreGiven, const ModuleDialogs& dialogs,
                 DialogWindow dialog) {
    const uint8_t genre = after.at(genreOffset), oldGenre = before.at(genreOffset);
    if (!genreGiven && !before.tagged()) {
        warn("the new tag's genre is " + genreText(dialogs, dialog, genre) +
             ", as the dialog has no entry for no genre; --genre chooses another");
    } else if (!genreGiven && oldGenre != genre) {
        warn("the tag's genre " + std::to_string(oldGenre) + " is not in the dialog's list, which has no entry for " +
             "no genre: the saved tag says " + genreText(dialogs, dialog, genre));
    }
    const uint8_t track = before.at(trackOffset);
    if (before.tagged() && before.at(trackOffset - 1) == 0 && track != 0 && after.at(trackOffset) != track) {
        warn("the track number " + std::to_string(track) +
             " in the comment's last byte is gone: the dialog's comment holds 30 characters of text and no track "
             "number");
    }
}

// The edit lock of a file (see sys::lockEdits), held until the block ends.
class HeldEditLock {
public:
    HeldEditLock() = default;
    HeldEditLock(const HeldEditLock&) = delete;
    HeldEditLock& operator=(const HeldEditLock&) = delete;
    ~HeldEditLock() {
        if (lock != sys::invalidFile()) sys::closeFile(lock);
    }

    // Waits, saying so, while another editor holds it; false when it cannot be had.
    bool take(const std::string& path) {
        sys::EditLock got = sys::lockEdits(path.c_str(), false, &lock);
        if (got == sys::EditLock::busy) {
            std::fprintf(stderr, "quillwave: waiting while another program edits the tag of %s\n", path.c_str());
            got = sys::lockEdits(path.c_str(), true, &lock);
        }
        return got == sys::EditLock::held;
    }

private:
    sys::Handle lock = sys::invalidFile();
};

}  // namespace

int tagCommand(const Options& options) {
    Arguments arguments;
    std::string error;
    if (!parseArguments(options,
                        {{"--title", true},
                         {"--artist", true},
                         {"--album", true},
                         {"--year", true},
                         {"--comment", true},
                         {"--genre", true},
                         {"--wipe", false}},
                        &arguments, &error)) {
        return fail(error + usageHint);
    }
    std::vector<std::pair<const TagField*, std::string>> fields;
    for (const auto& [option, value] : arguments.options) {
        for (const TagField& field : tagFields)
            if (option == field.option) fields.emplace_back(&field, value);
    }
    const std::string genre = arguments.has("--genre") ? *arguments.value("--genre") : "";
    const bool wipe = arguments.has("--wipe");
    if (arguments.operands.size() != 1) return fail("tag needs INPUT" + std::string(usageHint));
    if (wipe && (!fields.empty() || arguments.has("--genre"))) return fail("--wipe takes no field to set");
    const std::string& path = arguments.operands[0];
    // The dialog opens the file by its path, to read and to write.
    if (const std::string problem = inputProblem(path); !problem.empty()) return fail(problem);
    if (InputFile::isReadOnce(path)) return fail("tag needs a regular file: " + path + " can be read only once");
    const bool change = wipe || !fields.empty() || !genre.empty();

    // Two editors of one file take turns from reading the tag to saving it;
    // otherwise one would save fields as they were before the other's save.
    HeldEditLock editing;
    if (change && !editing.take(path) && readEnd(path).read) {
        return fail("cannot lock " + path + " against other editors of its tag");
    }
    const FileEnd before = readEnd(path);
    if (before.size > UINT32_MAX) {
        return fail(path + " has " + std::to_string(before.size) +
                    " bytes, more than the module's 32-bit file positions reach (4294967295): it can neither read "
                    "nor change its tag, and the file is left as it is");
    }

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.extendedInfo) return fail("the module has no file-information dialog", 2);
    const ModuleDialogs dialogs(module);
    if (!dialogs.available()) return fail("the module gives no access to its dialogs", 2);

    // The dialog asks the host for the current file's path: INPUT, readable
    // or not (the dialog itself says when it cannot edit the file).
    PlayerHost player(module, options.ini);
    player.setInputPath(path);
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
        if (before.tagged()) {
            printTagFields(dialogs, dialog);
        } else {
            std::printf("no ID3v1 tag\n");
        }
        return finish(0);
    }
    // Without a tag the dialog shows placeholders, which a user clears before
    // typing: the fields not given stay empty.
    if (!wipe && !before.tagged()) {
        for (const TagField& field : tagFields) dialogs.setText(dialog, field.item, "");
    }
    for (const auto& [field, value] : fields) {
        const std::string kept = fitted(value, field->width);
        if (kept != value) {
            warn(std::string(field->option) + " is " + std::to_string(value.size()) + " bytes and its field holds " +
                 std::to_string(field->width) + ": saved as \"" + kept + "\"");
        }
        dialogs.setText(dialog, field->item, kept);
    }
    if (!genre.empty()) {
        const int32_t index = findGenre(dialogs, dialog, genre);
        if (index < 0) return finish(fail("unknown genre " + genre));
        dialogs.comboSetSelection(dialog, QW_ITEM_GENRE, index);
    }
    dialogs.click(dialog, button);

    const std::string status = dialogs.text(dialog, QW_ITEM_STATUS);
    std::printf("%s\n", status.c_str());
    if (status == QW_STATUS_SAVED) warnUnasked(before, readEnd(path), !genre.empty(), dialogs, dialog);
    return finish(status == QW_STATUS_SAVED || status == QW_STATUS_WIPED ? 0 : 1);
}

}  // namespace qw::host
