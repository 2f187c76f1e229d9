// The POSIX platform layer: mutexes, threads and their message queues, files,
// settings files, message boxes, formatted strings and modules.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/TempFile.h"

namespace qw {
namespace {

using test::TempFile;

struct LockProbe {
    sys::Handle mutex;
    std::atomic<bool> acquired{false};
};

uint32_t takeMutexOnce(void* argument) {
    auto* probe = static_cast<LockProbe*>(argument);
    sys::lockMutex(probe->mutex);
    probe->acquired = true;
    sys::unlockMutex(probe->mutex);
    return 0;
}

TEST(PlatformMutex, RecursiveForItsOwnerAndExclusiveAgainstOthers) {
    LockProbe probe;
    probe.mutex = sys::createMutex();
    sys::lockMutex(probe.mutex);
    sys::lockMutex(probe.mutex);  // a second take by the owner must not block
    sys::Handle thread = sys::createThread(16384, takeMutexOnce, &probe, nullptr);
    ASSERT_NE(thread, nullptr);
    sys::unlockMutex(probe.mutex);  // still held once
    EXPECT_EQ(sys::waitForThread(thread, 50), sys::WaitResult::timedOut);
    EXPECT_FALSE(probe.acquired);
    sys::unlockMutex(probe.mutex);
    EXPECT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    EXPECT_TRUE(probe.acquired);
    sys::closeThread(thread);
    sys::closeMutex(probe.mutex);
}

// Collects messages until the quit message and answers how many came before it.
uint32_t collectUntilQuit(void* argument) {
    auto* log = static_cast<std::vector<sys::Message>*>(argument);
    for (sys::Message message;;) {
        if (!sys::peekMessage(&message)) {
            sys::sleepMs(1);
        } else if (message.message == sys::messageQuit) {
            return static_cast<uint32_t>(log->size());
        } else {
            log->push_back(message);
        }
    }
}

uint32_t waitForRelease(void* argument) {
    while (!*static_cast<std::atomic<bool>*>(argument)) sys::sleepMs(1);
    return 42;
}

TEST(PlatformThread, DeliversMessagesInOrderAndReportsExitCodes) {
    EXPECT_EQ(sys::messageQuit, 0x12u);
    EXPECT_EQ(sys::messageApp, 0x8000u);
    std::vector<sys::Message> log;
    uint32_t id = 0;
    sys::Handle thread = sys::createThread(16384, collectUntilQuit, &log, &id);
    ASSERT_TRUE(thread != nullptr && id != 0);
    // The new thread can take messages at once, before it first looks.
    ASSERT_TRUE(sys::postThreadMessage(id, sys::messageApp, 0, 90125));
    ASSERT_TRUE(sys::postThreadMessage(id, 0x400, 7, -1));
    ASSERT_TRUE(sys::postThreadMessage(id, sys::messageQuit, 0, 0));
    ASSERT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    uint32_t code = 0;
    ASSERT_TRUE(sys::threadExitCode(thread, &code));
    EXPECT_EQ(code, 2u);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].message, sys::messageApp);
    EXPECT_EQ(log[0].lParam, 90125);
    EXPECT_EQ(log[1].message, 0x400u);
    EXPECT_EQ(log[1].wParam, 7u);
    EXPECT_EQ(log[1].lParam, -1);
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageQuit, 0, 0));  // its queue went with it
    sys::closeThread(thread);

    // A running thread has no exit code; a terminated one has the given code.
    std::atomic<bool> release{false};
    sys::Handle runner = sys::createThread(16384, waitForRelease, &release, nullptr);
    sys::Handle victim = sys::createThread(16384, waitForRelease, &release, nullptr);
    EXPECT_EQ(sys::waitForThread(runner, 20), sys::WaitResult::timedOut);
    code = 7;
    EXPECT_FALSE(sys::threadExitCode(runner, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(sys::terminateThread(victim, 9));
    EXPECT_EQ(sys::waitForThread(victim, 10000), sys::WaitResult::signalled);
    EXPECT_TRUE(sys::threadExitCode(victim, &code));
    EXPECT_EQ(code, 9u);
    release = true;
    EXPECT_EQ(sys::waitForThread(runner, 10000), sys::WaitResult::signalled);
    ASSERT_TRUE(sys::threadExitCode(runner, &code));
    EXPECT_EQ(code, 42u);
    sys::closeThread(runner);
    sys::closeThread(victim);
}

TEST(PlatformThread, OtherThreadsGetAQueueOnTheirFirstPeek) {
    std::atomic<uint32_t> id{0};
    std::atomic<int> stage{0};
    std::atomic<intptr_t> seen{0};
    std::thread foreign([&] {
        id = sys::currentThreadId();
        stage = 1;
        while (stage != 2) std::this_thread::yield();
        sys::Message message;
        sys::peekMessage(&message);  // makes the queue; nothing is waiting yet
        stage = 3;
        while (!sys::peekMessage(&message)) std::this_thread::yield();
        seen = message.lParam;
    });
    while (stage != 1) std::this_thread::yield();
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageApp, 0, 5));  // no queue yet
    stage = 2;
    while (stage != 3) std::this_thread::yield();
    EXPECT_TRUE(sys::postThreadMessage(id, sys::messageApp, 0, 5));
    foreign.join();
    EXPECT_EQ(seen.load(), 5);
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageApp, 0, 6));  // ended
}

TEST(PlatformFile, SeeksReadsWritesAndTruncatesWithinTheRules) {
    TempFile path("qw_platform_file");
    path.write("0123456789");
    sys::Handle file = sys::openFile(path.c_str(), sys::FileAccess::read);
    ASSERT_NE(file, sys::invalidFile());
    EXPECT_EQ(sys::fileSize(file), 10u);
    EXPECT_EQ(sys::setFilePointer(file, 3, sys::fileBegin), 3u);
    // The pointer never moves before the start.
    EXPECT_EQ(sys::setFilePointer(file, -11, sys::fileEnd), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, -4, sys::fileCurrent), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 3u);
    EXPECT_EQ(sys::setFilePointer(file, -2, sys::fileEnd), 8u);
    char bytes[4] = {};
    uint32_t count = 0;
    ASSERT_TRUE(sys::readFile(file, bytes, 4, &count));
    EXPECT_EQ(std::string(bytes, count), "89");
    ASSERT_TRUE(sys::readFile(file, bytes, 4, &count));  // at the end: success, nothing read
    EXPECT_EQ(count, 0u);
    // A read-only handle neither writes nor truncates.
    EXPECT_FALSE(sys::writeFile(file, "x", 1, &count));
    EXPECT_FALSE(sys::setEndOfFile(file));
    EXPECT_TRUE(sys::closeFile(file));

    file = sys::openFile(path.c_str(), sys::FileAccess::readWrite);
    EXPECT_EQ(sys::setFilePointer(file, 6, sys::fileBegin), 6u);
    ASSERT_TRUE(sys::setEndOfFile(file));
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileEnd), 6u);
    ASSERT_TRUE(sys::writeFile(file, "ab", 2, &count));
    EXPECT_EQ(sys::fileSize(file), 8u);
    EXPECT_TRUE(sys::closeFile(file));
    EXPECT_EQ(path.read(), "012345ab");

    // Only existing files open, and folders are no files.
    TempFile missing("qw_platform_missing");
    EXPECT_EQ(sys::openFile(missing.c_str(), sys::FileAccess::readWrite), sys::invalidFile());
    EXPECT_FALSE(std::filesystem::exists(missing.path));
    EXPECT_EQ(sys::openFile(std::filesystem::temp_directory_path().c_str(), sys::FileAccess::read), sys::invalidFile());
}

TEST(PlatformProfile, ReadsIntegersLikeTheWindowsCall) {
    TempFile path("qw_platform_ini");
    EXPECT_EQ(sys::profileInt("Quillwave", "Decoder", 5, path.c_str()), 5u);  // no file
    path.write(
        "[quillwave]\n  DECODER  =  7  \nNegative=-3\nTrailing=12abc\nWord=abc\nEmpty=\nQuoted=\"4\"\n"
        "[Other]\nMissing=9\n");
    const struct {
        const char *section, *key;
        int32_t fallback;
        uint32_t expected;
    } cases[] = {{" QUILLWAVE ", "decoder", 0, 7}, {"Quillwave", "Negative", 0, uint32_t(-3)},
                 {"Quillwave", "Trailing", 0, 12}, {"Quillwave", "Word", 5, 0},
                 {"Quillwave", "Empty", 5, 5},     {"Quillwave", "Quoted", 0, 4},
                 {"Quillwave", "Missing", 5, 5},   {"Absent", "Decoder", -1, uint32_t(-1)}};
    for (const auto& c : cases)
        EXPECT_EQ(sys::profileInt(c.section, c.key, c.fallback, path.c_str()), c.expected) << c.key;
}

TEST(PlatformProfile, WritesKeepEverythingElseInPlace) {
    TempFile path("qw_platform_ini");
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));  // creates the file
    EXPECT_EQ(path.read(), "[Quillwave]\nDecoder=1\n");

    path.write(
        "; player settings\n[Player]\nVolume=80\n\n[QUILLWAVE]\n# chosen on the settings page\n"
        "decoder = 0\nOther=x\n\n[Last]\nKey=1\n");
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("quillwave", "Added", "2", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("New", "Key", "3", path.c_str()));
    EXPECT_EQ(path.read(),
              "; player settings\n[Player]\nVolume=80\n\n[QUILLWAVE]\n# chosen on the settings page\n"
              "Decoder=1\nOther=x\nAdded=2\n\n[Last]\nKey=1\n\n[New]\nKey=3\n");
    EXPECT_EQ(sys::profileInt("New", "Key", 0, path.c_str()), 3u);

    path.write("[Quillwave]\r\nDecoder=0\r\n");  // line endings stay as found
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    EXPECT_EQ(path.read(), "[Quillwave]\r\nDecoder=1\r\n");
}

void recordBox(void* context, const char* text, const char* caption) {
    *static_cast<std::string*>(context) += std::string(caption) + ": " + text;
}

TEST(PlatformMessageBox, GoesToTheObserverWhileOneIsSet) {
    std::string log;
    sys::setMessageBoxObserver(recordBox, &log);
    EXPECT_EQ(sys::messageBox(nullptr, "Layer2 Unsupported", "ERROR", 0), 1);
    sys::setMessageBoxObserver(nullptr, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(sys::messageBox(nullptr, "text", "caption", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
    EXPECT_EQ(log, "ERROR: Layer2 Unsupported");
}

TEST(PlatformFormat, StopsAtOneThousandTwentyFourCharacters) {
    char output[1100];
    EXPECT_EQ(sys::formatString(output, "%dkb/s %s", 128, "MPEG"), 12);
    EXPECT_STREQ(output, "128kb/s MPEG");
    std::memset(output, '#', sizeof(output));
    EXPECT_EQ(sys::formatString(output, "%s", std::string(1500, 'a').c_str()), 1024);
    EXPECT_EQ(std::strlen(output), 1024u);
    EXPECT_EQ(output[1025], '#');
}

TEST(PlatformModule, KeepsTheFirstInstanceAndLoadsLibraries) {
    static int first = 0, second = 0;  // the kept handle outlives the test
    sys::Handle before = sys::moduleInstance();
    sys::setModuleInstance(&first);
    sys::setModuleInstance(&second);
    sys::setModuleInstance(nullptr);
    EXPECT_EQ(sys::moduleInstance(), before != nullptr ? before : &first);

    EXPECT_EQ(sys::loadLibrary("/no/such/library.so"), nullptr);
    EXPECT_FALSE(sys::lastErrorText().empty());
    sys::Handle math = sys::loadLibrary("libm.so.6");
    ASSERT_NE(math, nullptr);
    EXPECT_NE(sys::librarySymbol(math, "cos"), nullptr);
    EXPECT_EQ(sys::librarySymbol(math, "no_such_symbol_here"), nullptr);
    EXPECT_NE(sys::lastErrorText().find("no_such_symbol_here"), std::string::npos);
    sys::freeLibrary(math);
    const std::string folder = sys::executableDirectory();
    EXPECT_TRUE(!folder.empty() && folder.back() != '/' && std::filesystem::is_directory(folder)) << folder;
}

}  // namespace
}  // namespace qw
