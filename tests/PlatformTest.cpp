// The platform layer: mutexes, threads, files, settings files, strings and libraries.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

#include "platform/platform.h"
#include "tests/support/TempFile.h"

namespace qw {
namespace {

using test::TempFile;

TEST(PlatformMutex, RecursiveForItsOwnerAndExclusiveAgainstOthers) {
    sys::Handle mutex = sys::createMutex();
    std::atomic<bool> acquired{false};
    sys::lockMutex(mutex);
    sys::lockMutex(mutex);  // a second take by the owner must not block
    std::thread other([&] {
        sys::lockMutex(mutex);
        acquired = true;
        sys::unlockMutex(mutex);
    });
    sys::unlockMutex(mutex);  // still held once
    sys::sleepMs(50);
    EXPECT_FALSE(acquired);
    sys::unlockMutex(mutex);
    other.join();
    EXPECT_TRUE(acquired);
    sys::closeMutex(mutex);
}

// Logs messages until the quit message.
uint32_t collectUntilQuit(void* argument) {
    for (sys::Message m{}; m.message != sys::messageQuit;) {
        if (!sys::peekMessage(&m)) m.message = 0, sys::sleepMs(1);
        if (m.message != 0 && m.message != sys::messageQuit) {
            *static_cast<std::string*>(argument) +=
                std::to_string(m.message) + "," + std::to_string(m.wParam) + "," + std::to_string(m.lParam) + ";";
        }
    }
    return 0;
}

TEST(PlatformThread, DeliversMessagesInOrderUntilItEnds) {
    std::string log;
    uint32_t id = 0;
    sys::Handle thread = sys::createThread(16384, collectUntilQuit, &log, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(id, 0u);
    // The new thread can take messages at once, before it first looks.
    for (const sys::Message& m : {sys::Message{sys::messageApp, 0, 90125}, {0x400, 7, -1}, {sys::messageQuit, 0, 0}})
        ASSERT_TRUE(sys::postThreadMessage(id, m.message, m.wParam, m.lParam));
    ASSERT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    EXPECT_EQ(log, "32768,0,90125;1024,7,-1;");
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageQuit, 0, 0));  // its queue went with it
    sys::closeThread(thread);
}

uint32_t markStarted(void* argument) {
    *static_cast<std::atomic<bool>*>(argument) = true;
    return 5;
}

TEST(PlatformThread, SuspendedThreadBeginsOnlyWhenResumed) {
    std::atomic<bool> started{false};
    sys::Handle thread = sys::createSuspendedThread(16384, markStarted, &started, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(sys::waitForThread(thread, 50), sys::WaitResult::timedOut);
    EXPECT_FALSE(started);
    ASSERT_TRUE(sys::resumeThread(thread));
    ASSERT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    uint32_t code = 0;
    EXPECT_TRUE(started);
    EXPECT_TRUE(sys::threadExitCode(thread, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_FALSE(sys::resumeThread(thread));  // only once
    sys::closeThread(thread);

    // A thread ended before it began never runs.
    started = false;
    thread = sys::createSuspendedThread(16384, markStarted, &started, nullptr);
    EXPECT_TRUE(sys::terminateThread(thread, 7));
    ASSERT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    EXPECT_FALSE(started);
    EXPECT_FALSE(sys::resumeThread(thread));
    sys::closeThread(thread);
}

// The file's lock stops no reader or writer (that it holds lockers back, the tag's save shows), and it is not an
// editor's lock: that one is had while the file's lock is held, and holds back other editors by any name of the file.
TEST(PlatformFile, LocksAreAdvisoryAndEditLocksStandApart) {
    TempFile path("qw_platform_lock"), link("qw_platform_link");
    path.write("0123456789");
    std::filesystem::create_hard_link(path.path, link.path);
    sys::Handle first = sys::openFile(path.c_str(), sys::FileAccess::readWrite);
    sys::Handle second = sys::openFile(path.c_str(), sys::FileAccess::read);
    ASSERT_TRUE(sys::lockFile(first));
    char bytes[4] = {};
    uint32_t count = 0;
    EXPECT_TRUE(sys::readFile(second, bytes, 4, &count));
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(sys::writeFile(first, "ab", 2, &count));
    sys::Handle edit = nullptr, again = nullptr;
    EXPECT_EQ(sys::lockEdits(path.c_str(), false, &edit), sys::EditLock::held);
    EXPECT_EQ(sys::lockEdits(link.c_str(), false, &again), sys::EditLock::busy);
    sys::closeFile(edit);
    EXPECT_EQ(sys::lockEdits(link.c_str(), false, &again), sys::EditLock::held);
    EXPECT_TRUE(sys::unlockFile(first));
    sys::closeFile(again), sys::closeFile(first), sys::closeFile(second);
    EXPECT_EQ(path.read(), "ab23456789");
}

// Only existing files open, and folders are no files.
TEST(PlatformFile, OpensOnlyExistingFiles) {
    TempFile missing("qw_platform_missing");
    EXPECT_EQ(sys::openFile(missing.c_str(), sys::FileAccess::readWrite), sys::invalidFile());
    EXPECT_FALSE(std::filesystem::exists(missing.path));
    EXPECT_EQ(sys::openFile(std::filesystem::temp_directory_path().string().c_str(), sys::FileAccess::read),
              sys::invalidFile());
}

// A position or size beyond 32 bits has no answer: the call fails, and a move that fails leaves the position.
TEST(PlatformFile, PositionsAndSizesBeyondThirtyTwoBitsFail) {
    TempFile path("qw_platform_large");
    path.write("0123456789");
    path.extend((uint64_t(1) << 32) + 1000, "");
    sys::Handle file = sys::openFile(path.c_str(), sys::FileAccess::read);
    EXPECT_EQ(sys::fileSize(file), 0xFFFFFFFFu);
    EXPECT_EQ(sys::setFilePointer(file, INT32_MAX, sys::fileBegin), uint32_t(INT32_MAX));
    EXPECT_EQ(sys::setFilePointer(file, INT32_MAX, sys::fileCurrent), 2u * INT32_MAX);
    EXPECT_EQ(sys::setFilePointer(file, 2, sys::fileCurrent), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 2u * INT32_MAX);
    sys::closeFile(file);
}

TEST(PlatformProfile, ReadsIntegersLikeTheWindowsCallAndWritesInPlace) {
    TempFile path("qw_platform_ini");
    EXPECT_EQ(sys::profileInt("Quillwave", "Decoder", 5, path.c_str()), 5u);          // no file
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));  // creates it
#if !defined(_WIN32)  // the system writes its own line endings
    EXPECT_EQ(path.read(), "[Quillwave]\nDecoder=1\n");
#endif
    path.write(
        "[quillwave]\n  DECODER  =  7  \nNegative=-3\nTrailing=12abc\nWord=abc\nEmpty=\nQuoted=\"4\"\n"
        "[Other]\nMissing=9\n");
    const std::tuple<const char*, const char*, int32_t, uint32_t> cases[] = {
        {" QUILLWAVE ", "decoder", 0, 7}, {"Quillwave", "Negative", 0, uint32_t(-3)},
        {"Quillwave", "Trailing", 0, 12}, {"Quillwave", "Word", 5, 0},
        {"Quillwave", "Empty", 5, 5},     {"Quillwave", "Quoted", 0, 4},
        {"Quillwave", "Missing", 5, 5},   {"Absent", "Decoder", -1, uint32_t(-1)}};
    for (const auto& [section, key, fallback, expected] : cases)
        EXPECT_EQ(sys::profileInt(section, key, fallback, path.c_str()), expected) << key;

#if !defined(_WIN32)  // the system's own writer lays the file out its own way
    // Writing keeps every other line, comment and blank line as it was.
    path.write(
        "; player settings\n[Player]\nVolume=80\n\n[QUILLWAVE]\n# chosen on the settings page\n"
        "decoder = 0\nOther=x\n\n[Last]\nKey=1\n");
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("quillwave", "Added", "2", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("New", "Key", "3", path.c_str()));
    EXPECT_EQ(path.read(),
              "; player settings\n[Player]\nVolume=80\n\n[QUILLWAVE]\n# chosen on the settings page\n"
              "Decoder=1\nOther=x\nAdded=2\n\n[Last]\nKey=1\n\n[New]\nKey=3\n");
    path.write("[Quillwave]\r\nDecoder=0\r\n");  // line endings stay as found
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    EXPECT_EQ(path.read(), "[Quillwave]\r\nDecoder=1\r\n");
#else
    ASSERT_TRUE(sys::writeProfileString("quillwave", "Added", "2", path.c_str()));
    EXPECT_EQ(sys::profileInt("QUILLWAVE", "added", 0, path.c_str()), 2u);
#endif
}

TEST(PlatformFormat, StopsAtOneThousandTwentyFourCharacters) {
    char output[1100];
    std::memset(output, '#', sizeof(output));
    EXPECT_EQ(sys::formatString(output, "%s", std::string(1500, 'a').c_str()), 1024);
#if !defined(_WIN32)  // the system's own call decides where its NUL goes
    EXPECT_EQ(std::string(output, 1026), std::string(1024, 'a') + '\0' + '#');
#endif
}

TEST(PlatformModule, NamesWhatFailedAndFindsItsOwnFolder) {
    EXPECT_EQ(sys::loadLibrary("/no/such/library.so"), nullptr);
    EXPECT_NE(sys::lastErrorText(), "");
    const std::string folder = sys::executableDirectory();
    ASSERT_NE(folder, "");
    EXPECT_NE(folder.back(), '/') << folder;
    EXPECT_NE(folder.back(), '\\') << folder;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
}

}  // namespace
}  // namespace qw
