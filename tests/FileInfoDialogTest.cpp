// The file-information dialog, driven through the headless dialog manager as a user drives it.
#include "tag/FileInfoDialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "quillwave/dialog.h"
#include "support/TempFile.h"
#include "tag/DialogTemplate.h"
#if !defined(_WIN32)
#include "support/FileSizeLimit.h"  // file-size limits are a POSIX facility
#endif

namespace {

using qw::sys::Handle;
namespace item = qw::item;

// Under Windows the template is a resource of the module file, which a test program does not carry.
#if !defined(_WIN32)

std::string currentPath;
int parentRequests = 0;

// A tag as stored: title, artist, album, year, comment cut or padded with spaces to their widths, the genre byte.
std::string tagBytes(std::vector<std::string> fields, uint8_t genre) {
    std::string tag = "TAG";
    for (size_t i = 0; i < fields.size(); ++i) tag += fields[i].append(30, ' ').substr(0, i == 3 ? 4 : 30);
    return tag + char(genre);
}

class FileInfoDialog : public ::testing::Test {
protected:
    void SetUp() override {
        context.hostRequest = [](uint32_t code, uint32_t value) -> intptr_t {
            parentRequests += code == QW_REQUEST_PARENT_WINDOW && value == 0;
            return 0;
        };
        context.getFilePath = [](char* path, uint32_t size) {
            qw::copyString(path, currentPath.c_str(), size == 1024 ? size : 1);
        };
        context.iniPath = "/nonexistent/quillwave-dialog-test.ini";
        ASSERT_EQ(qw::initialise(&context), 1);
        parentRequests = 0, currentPath = mp3.path;
        mp3.write(audio);
    }
    void TearDown() override {
        if (Handle open = qw::sys::findWindow(qw::fileInfoCaption)) qw::sys::destroyWindow(open);
        qw::shutdown(&context);
    }

    // ExtendedInfo as the host calls it; the dialog it shows.
    Handle open() {
        uint32_t result = 0xDEAD;
        EXPECT_EQ(qw::extendedInfo(0, &result, &context), 0);
        EXPECT_EQ(result, 0u);
        return qw::sys::findWindow(qw::fileInfoCaption);
    }
    std::string text(Handle dialog, int32_t id) {
        char buffer[2048];
        qw::sys::getItemText(dialog, id, buffer, sizeof buffer);
        return buffer;
    }

    PlayerContext context{};
    qw::test::TempFile mp3{"quillwave-dialog-"};
    const std::string audio = std::string(3000, '\x5A');
};

TEST_F(FileInfoDialog, SaveAndWipeRoundTripTheTagAndAFailedSaveKeepsTheOldOne) {
    const std::string title30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    const std::string tagged = audio + tagBytes({title30, "Ann", "", "2001", "c"}, 147);
    mp3.write(tagged);
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);

    // Wiping keeps the fields read from the tag, so a Save right after puts it back.
    qw::sys::clickItem(dialog, item::wipe);
    EXPECT_EQ(text(dialog, item::status) + "|" + mp3.read(), "TAG Wiped!|" + audio);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(mp3.read(), tagged);

    // What the user types is cut to the field widths.  A save the file system stops part-way says so and leaves
    // the old tag whole.
    qw::sys::setItemText(dialog, item::title, (title30 + "overflowing").c_str());
    qw::sys::setItemText(dialog, item::year, "20245");
    qw::sys::comboSetSelection(dialog, item::genre, 5);
    qw::test::withFileSizeLimit(tagged.size() - 1, [&] { return qw::sys::clickItem(dialog, item::save), 0; });
    EXPECT_EQ(text(dialog, item::status) + "|" + mp3.read(), "Error saving TAG|" + tagged);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status) + "|" + mp3.read(),
              "TAG Saved!|" + audio + tagBytes({title30, "Ann", "", "2024", "c"}, 5));
}

TEST_F(FileInfoDialog, FileThatCannotBeReadOrWrittenSaysSo) {
    currentPath = "/nonexistent/quillwave/missing.mp3";
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::status), "Cannot Edit TAG");
    for (int32_t id : {item::tagGroup, item::artistLabel, item::titleLabel, item::albumLabel, item::commentLabel,
                       item::yearGenreLabel, item::save, item::wipe})
        EXPECT_FALSE(qw::sys::isItemEnabled(dialog, id)) << id;
    for (int32_t id :
         {item::artist, item::title, item::album, item::comment, item::year, item::genre, item::properties}) {
        EXPECT_TRUE(qw::sys::isItemEnabled(dialog, id)) << id;
        EXPECT_EQ(text(dialog, id), "") << id;
    }
    EXPECT_EQ(qw::sys::comboCount(dialog, item::genre), 0);
    qw::sys::clickItem(dialog, item::save);  // a disabled button cannot be clicked
    EXPECT_EQ(text(dialog, item::status), "Cannot Edit TAG");
    qw::sys::destroyWindow(dialog);

    // Root writes through file modes; an immutable file stops it.
    currentPath = mp3.path;
    const bool root = geteuid() == 0;
    const std::string quoted = " '" + currentPath + "' 2>/dev/null";
    if (std::system(((root ? "chattr +i" : "chmod 444") + quoted).c_str()) != 0) GTEST_SKIP() << "cannot lock the file";
    dialog = open();
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), "Error Opening: `" + currentPath + "` for writing");
    if (root) {
        EXPECT_EQ(std::system(("chattr -i" + quoted).c_str()), 0);
    }
}

// An untagged file: the stream's properties, the defaults and the first genre.
TEST_F(FileInfoDialog, OneDialogShowsTheStreamAndKeysReachItThroughItsHook) {
    PlaybackState& state = *context.state;
    state.mpegVersion = 2, state.layer = 3, state.sampleRate = 8000, state.bitrate = 32, state.channels = 1;
    state.lengthMs = 12999, state.streamBytes = 2880;
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::properties),
              "Length: 12 Seconds\r\nMPEG Version: MPEG 2.5\r\nLayer: 3\r\nSampleRate: 8000\r\nBitRate: 32\r\n"
              "Mode: Mono\r\nLength: 2880 Bytes");
    EXPECT_EQ(qw::sys::comboSelection(dialog, item::genre), 0);
    qw::sys::setItemText(dialog, item::comment, "typed");
    EXPECT_EQ(open(), dialog);
    EXPECT_EQ(parentRequests, 1);  // no second dialog was made

    // Only keyboard messages taken off the queue go to the dialog.
    for (const auto& probe : {std::make_pair(0x0200u, qw::sys::peekRemove), std::make_pair(0x0100u, 0u)}) {
        qw::sys::WindowMessage message{dialog, probe.first, qw::sys::keyEscape, 0, 0, 0, 0};
        qw::fileInfoKeyboardHook(0, probe.second, reinterpret_cast<intptr_t>(&message));
        EXPECT_EQ(message.message, probe.first);
    }
    EXPECT_EQ(text(dialog, item::status), "Use Me!");
    // Escape is the command of id 2, which is Save: the typed comment was kept.
    EXPECT_TRUE(qw::sys::deliverKey(dialog, qw::sys::keyEscape));
    EXPECT_EQ(mp3.read(), audio + tagBytes({"Edit Me!", "Edit Me!", "Edit Me!", "1998", "typed"}, 0));
    // Enter is the default button, Close: the dialog and its hook are gone.
    EXPECT_TRUE(qw::sys::deliverKey(dialog, qw::sys::keyReturn));
    EXPECT_EQ(qw::sys::findWindow(qw::fileInfoCaption), nullptr);
    EXPECT_FALSE(qw::sys::deliverKey(dialog, qw::sys::keyEscape));

    // The window's close box ends it as well; the next request makes a new one.
    Handle second = open();
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(parentRequests, 2);
    qw::fileInfoDialogProc(second, qw::sys::messageClose, 0, 0);
    EXPECT_EQ(qw::sys::findWindow(qw::fileInfoCaption), nullptr);
}

// A host's view: the built module file keeps its dialog in its own copy of the platform layer, out of this
// program's reach, and exports only its C entry points.  The host's commands work the dialog through the table; what
// they do not reach is tested here.
TEST(HeadlessDialogTable, WorksTheModuleFilesOwnDialog) {
    Handle module = qw::sys::loadLibrary(QW_BUILD_DIR "/SQqw4.sqp");
    ASSERT_NE(module, nullptr) << qw::sys::lastErrorText();
    const auto exported = [&](const char* name) { return qw::sys::librarySymbol(module, name); };
    EXPECT_EQ(exported("_ZN2qw5queryEv"), nullptr);
    const auto table = reinterpret_cast<HeadlessDialogsFn>(exported("HeadlessDialogs"));
    ASSERT_NE(table, nullptr);
    const HeadlessDialogTable* t = table();
    ASSERT_TRUE(QW_HEADLESS_DIALOGS_HAVE(t, deliverKey));
    const auto extendedInfo = reinterpret_cast<ExtendedInfoFn>(exported("ExtendedInfo"));
    PlayerContext context{};
    context.hostRequest = [](uint32_t, uint32_t) -> intptr_t { return 0; };
    context.getFilePath = [](char* path, uint32_t size) { qw::copyString(path, QW_SAMPLES_DIR "/sample.mp3", size); };
    context.iniPath = "/nonexistent/quillwave-table-test.ini";
    ASSERT_EQ(reinterpret_cast<InitialiseFn>(exported("Initialise"))(&context), 1);
    uint32_t result = 1;
    extendedInfo(0, &result, &context);

    QwWindow dialog = t->findWindow(QW_FILE_INFO_CAPTION);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(qw::sys::findWindow(QW_FILE_INFO_CAPTION), nullptr);
    EXPECT_NE(t->isWindowVisible(dialog), 0);
    // What the calls answer, which the host's commands do not look at.
    char text[64];
    EXPECT_NE(t->setItemText(dialog, QW_ITEM_TITLE, "Title"), 0);
    EXPECT_EQ(t->getItemText(dialog, QW_ITEM_TITLE, text, 4), 3u);
    EXPECT_STREQ(text, "Tit");
    EXPECT_EQ(t->comboSetSelection(dialog, QW_ITEM_GENRE, 17), 17);
    EXPECT_EQ(t->comboItemText(dialog, QW_ITEM_GENRE, 17, text, sizeof text), 4);
    EXPECT_STREQ(text, "Rock");
    // Keys pass the dialog's own hook: Return presses Close.
    EXPECT_NE(t->deliverKey(dialog, QW_KEY_RETURN), 0);
    EXPECT_EQ(t->findWindow(nullptr), nullptr);
    extendedInfo(0, &result, &context);
    EXPECT_NE(t->destroyWindow(t->findWindow(nullptr)), 0);
    EXPECT_EQ(t->findWindow(nullptr), nullptr);
    reinterpret_cast<ShutdownFn>(exported("Shutdown"))(&context);
    qw::sys::freeLibrary(module);
}

#endif  // !_WIN32

}  // namespace
