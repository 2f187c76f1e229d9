#include "tag/FileInfoDialog.h"

#include "tag/DialogTemplate.h"
#include "tag/Id3v1Tag.h"

namespace qw {

namespace {

// Module-wide: the one dialog and the keyboard hook it installed.
sys::Handle dialogWindow = nullptr;
sys::Handle keyboardHook = nullptr;

constexpr uint32_t pathBlockSize = 1024;
constexpr uint32_t textFieldCount = 31;  // 30 characters and the NUL
constexpr uint32_t yearFieldCount = 5;   // 4 characters and the NUL
constexpr uint32_t genreNameSize = 199;

// Labels and buttons that make no sense without a readable file.
const int32_t tagControls[] = {item::tagGroup,     item::artistLabel,    item::titleLabel, item::albumLabel,
                               item::commentLabel, item::yearGenreLabel, item::wipe,       item::save};

const char* pathOf(sys::Handle dialog) {
    const char* path = reinterpret_cast<const char*>(sys::windowUserData(dialog));
    return path != nullptr ? path : "";
}

void showStreamProperties(sys::Handle dialog, const PlaybackState* state) {
    static const char* const versionText[3] = {"MPEG 1", "MPEG 2", "MPEG 2.5"};
    // The fields are taken as they stand, valid or not; an index out of range
    // (a block never written) reads as the first version.
    const PlaybackState none{};
    if (state == nullptr) state = &none;
    const uint32_t version = state->mpegVersion < 3 ? state->mpegVersion : 0;
    char text[1100];
    sys::formatString(text,
                      "Length: %d Seconds\r\nMPEG Version: %s\r\nLayer: %d\r\nSampleRate: %d\r\nBitRate: %d\r\n"
                      "Mode: %s\r\nLength: %d Bytes",
                      int(state->lengthMs / 1000), versionText[version], int(state->layer), int(state->sampleRate),
                      int(state->bitrate), state->channels == 2 ? "Stereo" : "Mono", int(state->streamBytes));
    sys::setItemText(dialog, item::properties, text);
}

void setUp(sys::Handle dialog, PlayerContext* context) {
    keyboardHook = sys::setMessageHook(fileInfoKeyboardHook, sys::currentThreadId());

    TagRecord record{};
    auto* path = static_cast<char*>(sys::globalAllocZeroed(pathBlockSize));
    sys::setWindowUserData(dialog, reinterpret_cast<intptr_t>(path));
    if (path != nullptr) context->getFilePath(path, pathBlockSize);

    sys::setItemText(dialog, item::path, pathOf(dialog));
    sys::setItemText(dialog, item::status, QW_STATUS_READY);

    sys::Handle file = sys::openFile(pathOf(dialog), sys::FileAccess::read);
    if (file == sys::invalidFile()) {
        for (int32_t id : tagControls) sys::enableItem(dialog, id, false);
        sys::setItemText(dialog, item::status, QW_STATUS_CANNOT_EDIT);
    } else {
        Id3v1Tag tag;
        tag.readTagFromFile(file, &record);
        sys::closeFile(file);
        if (record.present) {
            sys::setItemText(dialog, item::artist, record.artist);
            sys::setItemText(dialog, item::title, record.title);
            sys::setItemText(dialog, item::album, record.album);
            sys::setItemText(dialog, item::comment, record.comment);
            sys::setItemText(dialog, item::year, record.year);
        } else {
            for (int32_t id : {item::artist, item::title, item::album, item::comment}) {
                sys::setItemText(dialog, id, "Edit Me!");
            }
            sys::setItemText(dialog, item::year, "1998");
        }
        // List position = genre index: the names go in in table order.
        char name[genreNameSize];
        for (int32_t index = 0; tag.genreName(index, name, genreNameSize); ++index) {
            sys::comboAddString(dialog, item::genre, name);
        }
        sys::comboSetSelection(dialog, item::genre, record.genre);
        showStreamProperties(dialog, context->state);
    }
    sys::showWindow(dialog);
}

// Opens the file for reading and writing, or says on the status line why not.
sys::Handle openForWriting(sys::Handle dialog) {
    sys::Handle file = sys::openFile(pathOf(dialog), sys::FileAccess::readWrite);
    if (file == sys::invalidFile()) {
        char message[pathBlockSize + 64];
        sys::formatString(message, "Error Opening: `%s` for writing", pathOf(dialog));
        sys::setItemText(dialog, item::status, message);
    }
    return file;
}

void save(sys::Handle dialog) {
    TagRecord record{};
    sys::getItemText(dialog, item::artist, record.artist, textFieldCount);
    sys::getItemText(dialog, item::title, record.title, textFieldCount);
    sys::getItemText(dialog, item::album, record.album, textFieldCount);
    sys::getItemText(dialog, item::comment, record.comment, textFieldCount);
    sys::getItemText(dialog, item::year, record.year, yearFieldCount);
    record.genre = sys::comboSelection(dialog, item::genre);

    sys::Handle file = openForWriting(dialog);
    if (file == sys::invalidFile()) return;
    Id3v1Tag tag;
    const bool saved = tag.saveTag(file, &record) == 1;
    sys::setItemText(dialog, item::status, saved ? QW_STATUS_SAVED : QW_STATUS_SAVE_FAILED);
    sys::closeFile(file);
}

// The edit fields keep their text, so a Save right after puts the tag back.
void wipe(sys::Handle dialog) {
    sys::Handle file = openForWriting(dialog);
    if (file == sys::invalidFile()) return;
    Id3v1Tag tag;
    const bool wiped = tag.wipeTag(file) == 1;
    sys::setItemText(dialog, item::status, wiped ? QW_STATUS_WIPED : QW_STATUS_WIPE_FAILED);
    sys::closeFile(file);
}

void closeDialog(sys::Handle dialog) {
    sys::endDialog(dialog, 1);
    sys::destroyWindow(dialog);
}

}  // namespace

intptr_t QW_WINAPI fileInfoDialogProc(sys::Handle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case sys::messageInitDialog:
            setUp(window, reinterpret_cast<PlayerContext*>(lParam));
            return 1;
        case sys::messageCommand:
            switch (sys::commandId(wParam)) {
                case item::save:
                    save(window);
                    break;
                case item::wipe:
                    wipe(window);
                    break;
                case item::close:
                    closeDialog(window);
                    break;
                default:
                    break;
            }
            return 0;
        case sys::messageClose:
            closeDialog(window);
            return 0;
        case sys::messageDestroy:
            sys::removeMessageHook(keyboardHook);
            sys::globalFree(reinterpret_cast<void*>(sys::windowUserData(window)));
            dialogWindow = nullptr;
            return 0;
        default:
            return 0;
    }
}

intptr_t QW_WINAPI fileInfoKeyboardHook(int32_t code, uintptr_t wParam, intptr_t lParam) {
    if (code >= 0 && wParam == sys::peekRemove) {
        auto* message = reinterpret_cast<sys::WindowMessage*>(lParam);
        if (message->message >= sys::messageKeyFirst && message->message <= sys::messageKeyLast &&
            sys::isDialogMessage(dialogWindow, message)) {
            // The dialog took it: the host's loop gets WM_NULL instead.
            message->message = sys::messageNull;
            message->wParam = 0;
            message->lParam = 0;
        }
    }
    return sys::callNextHook(keyboardHook, code, wParam, lParam);
}

int32_t extendedInfo(uint32_t, uint32_t* result, PlayerContext* context) {
    if (result != nullptr) *result = 0;
    if (sys::Handle open = sys::findWindow(fileInfoCaption)) {
        sys::showWindow(open);
        sys::setForegroundWindow(open);
        return 0;
    }
    auto parent = reinterpret_cast<sys::Handle>(context->hostRequest(QW_REQUEST_PARENT_WINDOW, 0));
    sys::registerDialogTemplate(fileInfoTemplateId, &fileInfoTemplate());
    dialogWindow = sys::createDialog(sys::moduleInstance(), fileInfoTemplateId, parent, fileInfoDialogProc,
                                     reinterpret_cast<intptr_t>(context));
    return 0;
}

}  // namespace qw
