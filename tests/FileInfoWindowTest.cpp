// The file-information dialog as the system's window manager shows it: the Windows host keeps it open with
// `info --show`, and this test works it from another process through the window system alone, the way a user or an
// accessibility tool would: reading the controls, editing, pressing Save and Close.  Windows only: elsewhere the
// dialog is headless and lives only inside the process that opened it.
#if defined(_WIN32)

#include <gtest/gtest.h>
#include <process.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "support/TempFile.h"
#include "support/Vectors.h"
#include "tag/DialogTemplate.h"

namespace {

using qw::sys::Handle;
namespace item = qw::item;

std::string windowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string text(Handle dialog, int32_t id) {
    char buffer[2048] = "";
    qw::sys::getItemText(dialog, id, buffer, sizeof buffer);
    return buffer;
}

// Polls for the dialog, shown, for up to 30 s: the host starts in a process of its own.
Handle waitForDialog() {
    for (int i = 0; i < 3000; ++i) {
        Handle dialog = qw::sys::findWindow(qw::fileInfoCaption);
        if (dialog != nullptr && qw::sys::isWindowVisible(dialog)) return dialog;
        qw::sys::sleepMs(10);
    }
    return nullptr;
}

TEST(FileInfoWindow, HostShowsTheDialogAndItSavesTheTag) {
    const auto original = qw::test::readBytes(std::string(QW_SAMPLES_DIR) + "/sample.mp3");
    ASSERT_GT(original.size(), 128u);
    qw::test::TempFile mp3("quillwave-window-"), ini("quillwave-window-ini-"), out("quillwave-window-out-");
    mp3.write(std::string(original.begin(), original.end()));

    // The paths here have no spaces, so the command needs no quoting.
    const std::string command = windowsPath(std::string(QW_BUILD_DIR) + "/quillwave.exe") + " --plugin " +
                                windowsPath(std::string(QW_BUILD_DIR) + "/SQqw4.sqp") + " --ini " + ini.path +
                                " info --show " + mp3.path + " >" + out.path + " 2>&1";
    const char* shell = std::getenv("COMSPEC");
    const intptr_t host = _spawnl(_P_NOWAIT, shell != nullptr ? shell : "C:\\windows\\system32\\cmd.exe", "cmd", "/c",
                                  command.c_str(), static_cast<const char*>(nullptr));
    ASSERT_NE(host, -1) << "cannot start " << command;

    Handle dialog = waitForDialog();
    if (dialog == nullptr) {
        ADD_FAILURE() << "no dialog shown by: " << command << "\n" << out.read();
        return;  // the host still waits for its dialog; the run's time-out ends it
    }

    // What the dialog shows of the sample's tag, every control of it usable (the status and the stream's properties
    // the host's info command reads through the window system too).
    EXPECT_EQ(text(dialog, item::path), mp3.path);
    EXPECT_EQ(text(dialog, item::artist), "Quillwave");
    EXPECT_EQ(qw::sys::comboSelection(dialog, item::genre), 52);
    for (int32_t id : {item::artist, item::title, item::album, item::comment, item::year, item::genre, item::save,
                       item::wipe, item::close, item::tagGroup, item::yearGenreLabel}) {
        EXPECT_TRUE(qw::sys::isItemEnabled(dialog, id)) << "control " << id;
    }

    // An edit and Save: the tag in the file changes, nothing before it does.
    EXPECT_TRUE(qw::sys::setItemText(dialog, item::title, "Saved Through The Window"));
    EXPECT_EQ(qw::sys::comboSetSelection(dialog, item::genre, 17), 17);
    qw::sys::clickItem(dialog, item::save);
    EXPECT_EQ(text(dialog, item::status), "TAG Saved!");

    qw::sys::clickItem(dialog, item::close);
    int status = -1;
    ASSERT_EQ(_cwait(&status, host, 0), host);
    EXPECT_EQ(status, 0) << out.read();
    EXPECT_NE(out.read().find("File information dialog"), std::string::npos) << out.read();

    // Only the tag changed.
    const auto saved = qw::test::readBytes(mp3.path);
    ASSERT_EQ(saved.size(), original.size());
    EXPECT_TRUE(std::equal(original.begin(), original.end() - 128, saved.begin()));
    EXPECT_EQ(std::string(saved.end() - 125, saved.end() - 65),
              std::string("Saved Through The Window").append(6, ' ') + std::string("Quillwave").append(21, ' '));
    EXPECT_EQ(saved.back(), 17);
}

}  // namespace

#endif  // _WIN32
