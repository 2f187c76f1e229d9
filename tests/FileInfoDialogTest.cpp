// The file-information dialog, driven through the headless dialog manager the
// way a user drives it: clicks, typing, the genre list and the keyboard.
#include "tag/FileInfoDialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "support/TempFile.h"
#include "support/Vectors.h"
#include "tag/DialogTemplate.h"

namespace {

using qw::sys::Handle;
namespace item = qw::item;

// Under Windows the template is a resource of the module file, which a test program
// does not carry; the headless dialog manager builds the dialog from the table.
#if !defined(_WIN32)

std::string currentPath;
int parentRequests = 0;

// A tag as stored: title, artist, album, year and comment cut or padded with
// spaces to their widths, then the genre byte.
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
        parentRequests = 0;
        currentPath = mp3.path;
        mp3.write(audio);
    }
    void TearDown() override {
        if (Handle open = qw::sys::findWindow(qw::fileInfoCaption)) qw::sys::destroyWindow(open);
        qw::shutdown(&context);
    }

    // ExtendedInfo as the host calls it; the dialog it shows.
    Handle open() {
        uint32_t result = 0xDEAD;
        EXPECT_TRUE(qw::extendedInfo(0, &result, &context) == 0 && result == 0) << result;
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

TEST_F(FileInfoDialog, UntaggedFileShowsDefaultsAndTheStream) {
    PlaybackState& state = *context.state;
    state.mpegVersion = 2, state.layer = 3, state.sampleRate = 8000, state.bitrate = 32, state.channels = 1;
    state.lengthMs = 12999, state.streamBytes = 2880;
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::path), currentPath);
    EXPECT_EQ(text(dialog, item::properties),
              "Length: 12 Seconds\r\nMPEG Version: MPEG 2.5\r\nLayer: 3\r\nSampleRate: 8000\r\nBitRate: 32\r\n"
              "Mode: Mono\r\nLength: 2880 Bytes");
    // The genre list holds the whole table, the first one chosen.
    EXPECT_EQ(qw::sys::comboCount(dialog, item::genre), 148);
    EXPECT_EQ(qw::sys::comboSelection(dialog, item::genre), 0);
    for (int32_t id : {item::artist, item::title, item::album, item::comment}) EXPECT_EQ(text(dialog, id), "Edit Me!");
}

TEST_F(FileInfoDialog, SaveAndWipeRoundTripTheTagAndLeaveTheAudio) {
    const std::string title30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    const std::string tagged = audio + tagBytes({title30, "Ann", "", "2001", "c"}, 147);
    mp3.write(tagged);
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);

    // Wiping keeps the fields read from the tag, so a Save right after puts it back.
    qw::sys::clickItem(dialog, item::wipe);
    EXPECT_EQ(text(dialog, item::status), "TAG Wiped!");
    EXPECT_EQ(mp3.read(), audio);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(mp3.read(), tagged);

    // What the user types is cut to the field widths.
    qw::sys::setItemText(dialog, item::title, (title30 + "overflowing").c_str());
    qw::sys::setItemText(dialog, item::year, "20245");
    qw::sys::comboSetSelection(dialog, item::genre, 5);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(mp3.read(), audio + tagBytes({title30, "Ann", "", "2024", "c"}, 5));
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
         {item::artist, item::title, item::album, item::comment, item::year, item::genre, item::properties})
        EXPECT_TRUE(qw::sys::isItemEnabled(dialog, id) && text(dialog, id).empty()) << id;
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
    EXPECT_TRUE(!root || std::system(("chattr -i" + quoted).c_str()) == 0);
}

TEST_F(FileInfoDialog, SecondRequestKeepsTheDialogAndKeysReachItThroughItsHook) {
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    qw::sys::setItemText(dialog, item::title, "typed");
    EXPECT_EQ(open(), dialog);
    EXPECT_EQ(parentRequests, 1);  // no second dialog was made

    // Only keyboard messages taken off the queue go to the dialog.
    for (const auto& probe : {std::make_pair(0x0200u, qw::sys::peekRemove), std::make_pair(0x0100u, 0u)}) {
        qw::sys::WindowMessage message{dialog, probe.first, qw::sys::keyEscape, 0, 0, 0, 0};
        qw::fileInfoKeyboardHook(0, probe.second, reinterpret_cast<intptr_t>(&message));
        EXPECT_EQ(message.message, probe.first);
    }
    EXPECT_EQ(text(dialog, item::status), "Use Me!");
    // Escape is the command of id 2, which is Save; the typed title was kept.
    EXPECT_TRUE(qw::sys::deliverKey(dialog, qw::sys::keyEscape));
    EXPECT_EQ(mp3.read(), audio + tagBytes({"typed", "Edit Me!", "Edit Me!", "1998", "Edit Me!"}, 0));
    // Enter is the default button, Close: the dialog and its hook are gone.
    EXPECT_TRUE(qw::sys::deliverKey(dialog, qw::sys::keyReturn));
    EXPECT_EQ(qw::sys::findWindow(qw::fileInfoCaption), nullptr);
    EXPECT_FALSE(qw::sys::deliverKey(dialog, qw::sys::keyEscape));

    // The window's close box ends it as well; the next request makes a new one.
    Handle second = open();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(parentRequests, 2);
    qw::fileInfoDialogProc(second, qw::sys::messageClose, 0, 0);
    EXPECT_EQ(qw::sys::findWindow(qw::fileInfoCaption), nullptr);
}

#endif  // !_WIN32

// The resource script and the table describe one template.
TEST(FileInfoDialogTemplate, ResourceScriptMatchesTheTable) {
    namespace s = qw::sys::style;
    std::istringstream nameList(
        "WS_POPUP WS_CAPTION WS_SYSMENU WS_CLIPSIBLINGS WS_BORDER WS_VSCROLL WS_TABSTOP DS_MODALFRAME ES_MULTILINE "
        "ES_AUTOHSCROLL ES_READONLY CBS_DROPDOWNLIST CBS_NOINTEGRALHEIGHT BS_PUSHBUTTON BS_DEFPUSHBUTTON BS_GROUPBOX "
        "SS_LEFT SS_CENTER |");
    const std::vector<std::string> names{std::istream_iterator<std::string>(nameList), {}};
    const uint32_t values[] = {s::popup,    s::caption,      s::sysMenu,          s::clipSiblings, s::border,
                               s::vScroll,  s::tabStop,      s::modalFrame,       s::multiLine,    s::autoHScroll,
                               s::readOnly, s::dropDownList, s::noIntegralHeight, s::pushButton,   s::defPushButton,
                               s::groupBox, s::leftText,     s::centerText};  // "|" adds nothing
    // "NAME | NAME ..." as the style bits it stands for.
    auto styleOf = [&](const std::string& expression) {
        uint32_t value = 0;
        std::istringstream parts(expression);
        for (std::string name; parts >> name;) {
            const size_t at = std::find(names.begin(), names.end(), name) - names.begin();
            EXPECT_LT(at, names.size()) << name;
            value |= at < std::size(values) ? values[at] : 0;
        }
        return value;
    };

    auto numbers = [](auto... n) { return ((", " + std::to_string(n)) + ...); };
    const auto bytes = qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/../platform/win32/module/FileInfoDialog.rc");
    const std::string script(bytes.begin(), bytes.end());
    const qw::sys::DialogTemplate& t = qw::fileInfoTemplate();
    for (const std::string& expected :
         {"101 DIALOG 0" + numbers(0, t.width, t.height), "CAPTION \"" + std::string(t.caption) + "\"",
          "FONT " + std::to_string(t.fontSize) + ", \"" + t.fontName + "\""})
        EXPECT_NE(script.find(expected), std::string::npos) << expected;
    std::vector<std::string> controls;
    std::istringstream lines(script);
    for (std::string line; std::getline(lines, line);) {
        line.erase(0, line.find_first_not_of(' '));
        EXPECT_TRUE(line.rfind("STYLE ", 0) != 0 || styleOf(line.substr(6)) == t.style) << line;
        if (line.rfind("CONTROL ", 0) == 0) controls.push_back(line);
    }
    ASSERT_TRUE(controls.size() == 19 && t.itemCount == 19) << controls.size() << " " << t.itemCount;
    // CONTROL "text", id, "class", styles, x, y, width, height
    const char* const classNames[] = {"Button", "Edit", "Static", "ComboBox"};
    for (uint32_t i = 0; i < t.itemCount; ++i) {
        const qw::sys::DialogItemTemplate& c = t.items[i];
        const std::string& line = controls[i];
        const std::string head =
            "CONTROL \"" + std::string(c.text) + "\"" + numbers(c.id) + ", \"" + classNames[int(c.kind)] + "\", ";
        const std::string tail = numbers(c.x, c.y, c.width, c.height);
        ASSERT_EQ(line.substr(0, head.size()) + "|" + line.substr(line.size() - std::min(line.size(), tail.size())),
                  head + "|" + tail);
        EXPECT_EQ(styleOf(line.substr(head.size(), line.size() - head.size() - tail.size())), c.style) << line;
    }
}

}  // namespace
