// The file-information dialog, driven through the headless dialog manager the
// way a user drives it: clicks, typing, the genre list and the keyboard.
#include "tag/FileInfoDialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/PluginEntry.h"
#include "support/Vectors.h"
#include "tag/DialogTemplate.h"

namespace {

using qw::sys::Handle;
namespace item = qw::item;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Under Windows the dialog's template is a resource of the module file, which
// a test program does not carry; the dialog itself is tested on the headless
// dialog manager, which builds it from the template table.
#if !defined(_WIN32)

std::string currentPath;
int parentRequests = 0;

intptr_t QW_CALL hostRequest(uint32_t code, uint32_t value) {
    if (code == QW_REQUEST_PARENT_WINDOW) {
        EXPECT_EQ(value, 0u);
        ++parentRequests;
    }
    return 0;
}

void QW_CALL getFilePath(char* buffer, uint32_t size) {
    EXPECT_EQ(size, 1024u);
    qw::copyString(buffer, currentPath.c_str(), size);
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string padded(const std::string& text, size_t width) {
    std::string field = text.substr(0, width);
    field.resize(width, ' ');
    return field;
}

std::vector<uint8_t> tagBytes(const std::string& title, const std::string& artist, const std::string& album,
                              const std::string& year, const std::string& comment, uint8_t genre) {
    const std::string tag = "TAG" + padded(title, 30) + padded(artist, 30) + padded(album, 30) + padded(year, 4) +
                            padded(comment, 30) + char(genre);
    return std::vector<uint8_t>(tag.begin(), tag.end());
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FileInfoDialog : public ::testing::Test {
protected:
    void SetUp() override {
        context.hostRequest = hostRequest;
        context.getFilePath = getFilePath;
        context.iniPath = "/nonexistent/quillwave-dialog-test.ini";
        ASSERT_EQ(qw::initialise(&context), 1);
        parentRequests = 0;
        currentPath = testing::TempDir() + "quillwave-dialog-" +
                      testing::UnitTest::GetInstance()->current_test_info()->name() + ".mp3";
        for (int i = 0; i < 3000; ++i) audio.push_back(uint8_t(i * 37 + 11));
    }

    void TearDown() override {
        if (Handle open = qw::sys::findWindow(qw::fileInfoCaption)) qw::sys::destroyWindow(open);
        qw::shutdown(&context);
        std::remove(currentPath.c_str());
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

    std::vector<uint8_t> file() const { return qw::test::readBytes(currentPath); }

    PlayerContext context{};
    std::vector<uint8_t> audio;
};

TEST_F(FileInfoDialog, UntaggedFileShowsDefaultsAndSavesThemAsTheNewTag) {
    writeBytes(currentPath, audio);
    PlaybackState& state = *context.state;
    state.mpegVersion = 2;
    state.layer = 3;
    state.sampleRate = 8000;
    state.bitrate = 32;
    state.channels = 1;
    state.lengthMs = 12999;
    state.streamBytes = 2880;

    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(parentRequests, 1);
    EXPECT_TRUE(qw::sys::isWindowVisible(dialog));
    EXPECT_EQ(qw::sys::foregroundWindow(), dialog);
    EXPECT_EQ(text(dialog, item::path), currentPath);
    EXPECT_EQ(text(dialog, item::status), "Use Me!");
    for (int32_t id : {item::artist, item::title, item::album, item::comment}) EXPECT_EQ(text(dialog, id), "Edit Me!");
    EXPECT_EQ(text(dialog, item::year), "1998");
    EXPECT_EQ(text(dialog, item::properties),
              "Length: 12 Seconds\r\nMPEG Version: MPEG 2.5\r\nLayer: 3\r\nSampleRate: 8000\r\nBitRate: 32\r\n"
              "Mode: Mono\r\nLength: 2880 Bytes");

    // The genre list holds the whole table in order, the first one chosen.
    ASSERT_EQ(qw::sys::comboCount(dialog, item::genre), 148);
    char name[64];
    qw::sys::comboItemText(dialog, item::genre, 0, name, sizeof name);
    EXPECT_STREQ(name, "Blues");
    qw::sys::comboItemText(dialog, item::genre, 147, name, sizeof name);
    EXPECT_STREQ(name, "Synthpop");
    EXPECT_EQ(qw::sys::comboSelection(dialog, item::genre), 0);

    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), "TAG Saved!");
    EXPECT_EQ(file(), audio + tagBytes("Edit Me!", "Edit Me!", "Edit Me!", "1998", "Edit Me!", 0));
}

TEST_F(FileInfoDialog, SaveAndWipeRoundTripTheTagAndLeaveTheAudio) {
    const std::string title30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
    const auto tagged = audio + tagBytes(title30, "Ann", "", "2001", "c", 147);
    writeBytes(currentPath, tagged);

    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::title), title30);
    EXPECT_EQ(text(dialog, item::artist), "Ann");
    EXPECT_EQ(text(dialog, item::album), "");
    EXPECT_EQ(text(dialog, item::year), "2001");
    EXPECT_EQ(qw::sys::comboSelection(dialog, item::genre), 147);

    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), "TAG Saved!");
    EXPECT_EQ(file(), tagged);

    // Wiping keeps the fields, so a Save right after puts the tag back.
    qw::sys::clickItem(dialog, item::wipe);
    EXPECT_EQ(text(dialog, item::status), "TAG Wiped!");
    EXPECT_EQ(file(), audio);
    EXPECT_EQ(text(dialog, item::title), title30);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(file(), tagged);

    // What the user types is cut to the field widths.
    qw::sys::setItemText(dialog, item::title, (title30 + "overflowing").c_str());
    qw::sys::setItemText(dialog, item::year, "20245");
    qw::sys::comboSetSelection(dialog, item::genre, 5);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(file(), audio + tagBytes(title30, "Ann", "", "2024", "c", 5));
}

TEST_F(FileInfoDialog, FileThatCannotBeReadCannotBeEdited) {
    currentPath = "/nonexistent/quillwave/missing.mp3";
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::status), "Cannot Edit TAG");
    EXPECT_EQ(text(dialog, item::path), currentPath);
    for (int32_t id : {item::tagGroup, item::artistLabel, item::titleLabel, item::albumLabel, item::commentLabel,
                       item::yearGenreLabel, item::save, item::wipe}) {
        EXPECT_FALSE(qw::sys::isItemEnabled(dialog, id)) << id;
    }
    for (int32_t id : {item::artist, item::title, item::album, item::comment, item::year}) {
        EXPECT_TRUE(qw::sys::isItemEnabled(dialog, id)) << id;
        EXPECT_EQ(text(dialog, id), "") << id;
    }
    EXPECT_TRUE(qw::sys::isItemEnabled(dialog, item::genre));
    EXPECT_EQ(qw::sys::comboCount(dialog, item::genre), 0);
    EXPECT_EQ(text(dialog, item::properties), "");
    // A disabled button cannot be clicked.
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), "Cannot Edit TAG");
}

TEST_F(FileInfoDialog, FileThatCannotBeWrittenNamesItsPath) {
    const auto tagged = audio + tagBytes("t", "a", "b", "1999", "c", 3);
    writeBytes(currentPath, tagged);
    // Root writes through file modes; an immutable file stops it.
    const bool root = geteuid() == 0;
    const std::string lockCommand = "chattr +i '" + currentPath + "' 2>/dev/null";
    const std::string unlockCommand = "chattr -i '" + currentPath + "' 2>/dev/null";
    if (root ? std::system(lockCommand.c_str()) != 0 : chmod(currentPath.c_str(), 0444) != 0) {
        GTEST_SKIP() << "cannot make " << currentPath << " unwritable";
    }
    struct Unlock {
        std::string command;
        ~Unlock() {
            if (!command.empty() && std::system(command.c_str()) != 0)
                std::fprintf(stderr, "%s failed\n", command.c_str());
        }
    } unlock{root ? unlockCommand : std::string()};

    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(dialog, item::status), "Use Me!");
    EXPECT_EQ(text(dialog, item::title), "t");
    const std::string error = "Error Opening: `" + currentPath + "` for writing";
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), error);
    qw::sys::setItemText(dialog, item::status, "");
    qw::sys::clickItem(dialog, item::wipe);
    EXPECT_EQ(text(dialog, item::status), error);
    EXPECT_EQ(file(), tagged);
}

TEST_F(FileInfoDialog, SecondRequestRaisesTheOpenDialog) {
    writeBytes(currentPath, audio);
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);
    qw::sys::setItemText(dialog, item::title, "typed by the user");

    // Another window comes to the front.
    static const qw::sys::DialogItemTemplate noItems[1] = {};
    static const qw::sys::DialogTemplate other = {"Other", "Arial", 8, 10, 10, 0, noItems, 0};
    qw::sys::registerDialogTemplate(900, &other);
    Handle otherWindow = qw::sys::createDialog(nullptr, 900, nullptr, nullptr, 0);
    ASSERT_NE(otherWindow, nullptr);
    qw::sys::showWindow(otherWindow);
    ASSERT_EQ(qw::sys::foregroundWindow(), otherWindow);

    EXPECT_EQ(open(), dialog);
    EXPECT_EQ(qw::sys::foregroundWindow(), dialog);
    EXPECT_EQ(parentRequests, 1);  // no second dialog was made
    EXPECT_EQ(text(dialog, item::title), "typed by the user");
    qw::sys::destroyWindow(otherWindow);
}

TEST_F(FileInfoDialog, KeyboardReachesTheDialogThroughItsHook) {
    writeBytes(currentPath, audio);
    Handle dialog = open();
    ASSERT_NE(dialog, nullptr);

    // Only keyboard messages taken off the queue go to the dialog.
    for (const auto& probe : {std::make_pair(0x0200u, qw::sys::peekRemove), std::make_pair(0x0100u, 0u)}) {
        qw::sys::WindowMessage message{dialog, probe.first, qw::sys::keyEscape, 0, 0, 0, 0};
        qw::fileInfoKeyboardHook(0, probe.second, reinterpret_cast<intptr_t>(&message));
        EXPECT_EQ(message.message, probe.first);
    }
    EXPECT_EQ(text(dialog, item::status), "Use Me!");

    // Escape is the command of id 2, which is Save.
    EXPECT_TRUE(qw::sys::deliverKey(dialog, qw::sys::keyEscape));
    EXPECT_EQ(text(dialog, item::status), "TAG Saved!");
    EXPECT_EQ(file(), audio + tagBytes("Edit Me!", "Edit Me!", "Edit Me!", "1998", "Edit Me!", 0));

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
    const std::map<std::string, uint32_t> styles = {
        {"WS_POPUP", qw::sys::style::popup},
        {"WS_CAPTION", qw::sys::style::caption},
        {"WS_SYSMENU", qw::sys::style::sysMenu},
        {"WS_CLIPSIBLINGS", qw::sys::style::clipSiblings},
        {"WS_BORDER", qw::sys::style::border},
        {"WS_VSCROLL", qw::sys::style::vScroll},
        {"WS_TABSTOP", qw::sys::style::tabStop},
        {"DS_MODALFRAME", qw::sys::style::modalFrame},
        {"ES_MULTILINE", qw::sys::style::multiLine},
        {"ES_AUTOHSCROLL", qw::sys::style::autoHScroll},
        {"ES_READONLY", qw::sys::style::readOnly},
        {"CBS_DROPDOWNLIST", qw::sys::style::dropDownList},
        {"CBS_NOINTEGRALHEIGHT", qw::sys::style::noIntegralHeight},
        {"BS_PUSHBUTTON", qw::sys::style::pushButton},
        {"BS_DEFPUSHBUTTON", qw::sys::style::defPushButton},
        {"BS_GROUPBOX", qw::sys::style::groupBox},
        {"SS_LEFT", qw::sys::style::leftText},
        {"SS_CENTER", qw::sys::style::centerText},
    };
    auto styleOf = [&](const std::string& expression) {
        uint32_t value = 0;
        std::stringstream names(expression);
        for (std::string name; std::getline(names, name, '|');) {
            name = trimmed(name);
            const auto found = styles.find(name);
            EXPECT_NE(found, styles.end()) << name;
            if (found != styles.end()) value |= found->second;
        }
        return value;
    };
    const char* const classNames[] = {"Button", "Edit", "Static", "ComboBox"};

    const auto bytes = qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/../platform/win32/module/FileInfoDialog.rc");
    ASSERT_FALSE(bytes.empty());
    std::stringstream script(std::string(bytes.begin(), bytes.end()));
    const qw::sys::DialogTemplate& t = qw::fileInfoTemplate();
    uint32_t controls = 0;
    bool sawHeader = false;
    for (std::string line; std::getline(script, line);) {
        line = trimmed(line);
        int width = 0, height = 0;
        if (std::sscanf(line.c_str(), "101 DIALOG 0, 0, %d, %d", &width, &height) == 2) {
            sawHeader = true;
            EXPECT_EQ(width, t.width);
            EXPECT_EQ(height, t.height);
        } else if (line.rfind("STYLE ", 0) == 0) {
            EXPECT_EQ(styleOf(line.substr(6)), t.style);
        } else if (line.rfind("CAPTION ", 0) == 0) {
            EXPECT_EQ(line, std::string("CAPTION \"") + t.caption + "\"");
        } else if (line.rfind("FONT ", 0) == 0) {
            EXPECT_EQ(line, "FONT " + std::to_string(t.fontSize) + ", \"" + t.fontName + "\"");
        } else if (line.rfind("CONTROL \"", 0) == 0) {
            // CONTROL "text", id, "class", styles, x, y, width, height
            const size_t textEnd = line.find('"', 9);
            ASSERT_NE(textEnd, std::string::npos) << line;
            std::vector<std::string> fields;
            std::stringstream rest(line.substr(textEnd + 2));
            for (std::string field; std::getline(rest, field, ',');) fields.push_back(trimmed(field));
            ASSERT_EQ(fields.size(), 7u) << line;
            ASSERT_LT(controls, t.itemCount);
            const qw::sys::DialogItemTemplate& c = t.items[controls++];
            EXPECT_EQ(line.substr(9, textEnd - 9), c.text) << line;
            EXPECT_EQ(std::stoi(fields[0]), c.id) << line;
            EXPECT_EQ(fields[1], std::string("\"") + classNames[int(c.kind)] + "\"") << line;
            EXPECT_EQ(styleOf(fields[2]), c.style) << line;
            EXPECT_EQ(std::stoi(fields[3]), c.x) << line;
            EXPECT_EQ(std::stoi(fields[4]), c.y) << line;
            EXPECT_EQ(std::stoi(fields[5]), c.width) << line;
            EXPECT_EQ(std::stoi(fields[6]), c.height) << line;
        }
    }
    EXPECT_TRUE(sawHeader);
    EXPECT_EQ(controls, t.itemCount);
    EXPECT_EQ(t.itemCount, 19u);
}

}  // namespace
