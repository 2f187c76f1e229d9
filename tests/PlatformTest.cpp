// The POSIX platform layer: mutexes, threads and their message queues, files,
// settings files, message boxes, formatted strings and modules.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/platform.h"

namespace qw {
namespace {

namespace fs = std::filesystem;

// A fresh path in the temporary folder, removed again at the end of the test.
struct TempPath {
    explicit TempPath(const std::string& stem) {
        static std::atomic<int> counter{0};
        path =
            (fs::temp_directory_path() / (stem + std::to_string(counter++) + "_" + std::to_string(getpid()))).string();
        fs::remove(path);
    }
    ~TempPath() { fs::remove(path, ignored); }
    const char* c_str() const { return path.c_str(); }
    void write(const std::string& content) const { std::ofstream(path, std::ios::binary) << content; }
    std::string read() const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string path;
    std::error_code ignored;
};

// ---- Mutexes -------------------------------------------------------------------

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
    ASSERT_NE(probe.mutex, nullptr);
    sys::lockMutex(probe.mutex);
    sys::lockMutex(probe.mutex);  // a second take by the owner must not block

    uint32_t id = 0;
    sys::Handle thread = sys::createThread(16384, takeMutexOnce, &probe, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(sys::waitForThread(thread, 50), sys::WaitResult::timedOut);
    sys::unlockMutex(probe.mutex);  // still held once
    EXPECT_EQ(sys::waitForThread(thread, 50), sys::WaitResult::timedOut);
    EXPECT_FALSE(probe.acquired);

    sys::unlockMutex(probe.mutex);
    EXPECT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    EXPECT_TRUE(probe.acquired);
    sys::closeThread(thread);
    sys::closeMutex(probe.mutex);
}

// ---- Threads and messages ---------------------------------------------------------

// Collects messages until the quit message and answers how many came before it.
uint32_t collectUntilQuit(void* argument) {
    auto* log = static_cast<std::vector<sys::Message>*>(argument);
    for (;;) {
        sys::Message message;
        if (!sys::peekMessage(&message)) {
            sys::sleepMs(1);
            continue;
        }
        if (message.message == sys::messageQuit) return static_cast<uint32_t>(log->size());
        log->push_back(message);
    }
}

TEST(PlatformThread, DeliversPostedMessagesInOrderAndEndsOnQuit) {
    EXPECT_EQ(sys::messageQuit, 0x12u);
    EXPECT_EQ(sys::messageApp, 0x8000u);

    std::vector<sys::Message> log;
    uint32_t id = 0;
    sys::Handle thread = sys::createThread(16384, collectUntilQuit, &log, &id);
    ASSERT_NE(thread, nullptr);
    ASSERT_NE(id, 0u);
    // The new thread can take messages at once, before it first looks.
    ASSERT_TRUE(sys::postThreadMessage(id, sys::messageApp, 0, 90125));
    ASSERT_TRUE(sys::postThreadMessage(id, sys::messageApp, 0, -1));
    ASSERT_TRUE(sys::postThreadMessage(id, 0x400, 7, 0));
    ASSERT_TRUE(sys::postThreadMessage(id, sys::messageQuit, 0, 0));

    ASSERT_EQ(sys::waitForThread(thread, 10000), sys::WaitResult::signalled);
    uint32_t code = 0;
    ASSERT_TRUE(sys::threadExitCode(thread, &code));
    EXPECT_EQ(code, 3u);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].message, sys::messageApp);
    EXPECT_EQ(log[0].lParam, 90125);
    EXPECT_EQ(log[1].lParam, -1);
    EXPECT_EQ(log[2].message, 0x400u);
    EXPECT_EQ(log[2].wParam, 7u);

    // Its queue went with it.
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageQuit, 0, 0));
    sys::closeThread(thread);
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
    EXPECT_NE(id.load(), sys::currentThreadId());
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageApp, 0, 5));  // no queue yet
    stage = 2;
    while (stage != 3) std::this_thread::yield();
    EXPECT_TRUE(sys::postThreadMessage(id, sys::messageApp, 0, 5));
    foreign.join();
    EXPECT_EQ(seen.load(), 5);
    EXPECT_FALSE(sys::postThreadMessage(id, sys::messageApp, 0, 6));  // ended
}

uint32_t waitForRelease(void* argument) {
    auto* release = static_cast<std::atomic<bool>*>(argument);
    while (!*release) sys::sleepMs(1);
    return 42;
}

TEST(PlatformThread, WaitTimesOutUntilTheThreadEndsOrIsTerminated) {
    std::atomic<bool> release{false};
    sys::Handle runner = sys::createThread(16384, waitForRelease, &release, nullptr);
    sys::Handle victim = sys::createThread(16384, waitForRelease, &release, nullptr);
    ASSERT_TRUE(runner != nullptr && victim != nullptr);
    EXPECT_EQ(sys::waitForThread(runner, 20), sys::WaitResult::timedOut);
    uint32_t code = 7;
    EXPECT_FALSE(sys::threadExitCode(runner, &code));
    EXPECT_EQ(code, 7u);

    // Ending a thread from outside is best effort on POSIX, but a sleeping one ends.
    EXPECT_TRUE(sys::terminateThread(victim, 9));
    EXPECT_EQ(sys::waitForThread(victim, 10000), sys::WaitResult::signalled);
    EXPECT_TRUE(sys::threadExitCode(victim, &code));
    EXPECT_EQ(code, 9u);

    release = true;
    EXPECT_EQ(sys::waitForThread(runner, 10000), sys::WaitResult::signalled);
    EXPECT_EQ(sys::waitForThread(runner, 0), sys::WaitResult::signalled);
    ASSERT_TRUE(sys::threadExitCode(runner, &code));
    EXPECT_EQ(code, 42u);
    sys::waitForThread(victim, 0xFFFFFFFFu);  // before release goes away
    sys::closeThread(runner);
    sys::closeThread(victim);
}

// ---- Files ---------------------------------------------------------------------

TEST(PlatformFile, PointerRefusesToMoveBeforeTheStart) {
    TempPath path("qw_platform_file");
    path.write("0123456789");
    sys::Handle file = sys::openFile(path.c_str(), sys::FileAccess::read);
    ASSERT_NE(file, sys::invalidFile());
    EXPECT_EQ(sys::fileSize(file), 10u);

    EXPECT_EQ(sys::setFilePointer(file, 3, sys::fileBegin), 3u);
    EXPECT_EQ(sys::setFilePointer(file, -11, sys::fileEnd), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, -4, sys::fileCurrent), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, -1, sys::fileBegin), sys::invalidSetFilePointer);
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileCurrent), 3u);

    EXPECT_EQ(sys::setFilePointer(file, -2, sys::fileEnd), 8u);
    char bytes[4] = {};
    uint32_t count = 0;
    ASSERT_TRUE(sys::readFile(file, bytes, 4, &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::string(bytes, 2), "89");
    ASSERT_TRUE(sys::readFile(file, bytes, 4, &count));  // at the end: success, nothing read
    EXPECT_EQ(count, 0u);

    // A read-only handle neither writes nor truncates.
    EXPECT_FALSE(sys::writeFile(file, "x", 1, &count));
    EXPECT_EQ(sys::setFilePointer(file, 4, sys::fileBegin), 4u);
    EXPECT_FALSE(sys::setEndOfFile(file));
    EXPECT_TRUE(sys::closeFile(file));
    EXPECT_EQ(path.read(), "0123456789");
}

TEST(PlatformFile, OpensExistingFilesAndCutsOrExtendsThemForWriting) {
    TempPath path("qw_platform_file");
    path.write("0123456789");
    sys::Handle file = sys::openFile(path.c_str(), sys::FileAccess::readWrite);
    ASSERT_NE(file, sys::invalidFile());
    EXPECT_EQ(sys::setFilePointer(file, 6, sys::fileBegin), 6u);
    ASSERT_TRUE(sys::setEndOfFile(file));
    EXPECT_EQ(sys::fileSize(file), 6u);
    EXPECT_EQ(sys::setFilePointer(file, 0, sys::fileEnd), 6u);
    uint32_t count = 0;
    ASSERT_TRUE(sys::writeFile(file, "ab", 2, &count));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(sys::fileSize(file), 8u);
    EXPECT_TRUE(sys::closeFile(file));
    EXPECT_EQ(path.read(), "012345ab");

    // Only existing files open, and folders are no files.
    TempPath missing("qw_platform_missing");
    EXPECT_EQ(sys::openFile(missing.c_str(), sys::FileAccess::readWrite), sys::invalidFile());
    EXPECT_FALSE(fs::exists(missing.path));
    EXPECT_EQ(sys::openFile(fs::temp_directory_path().string().c_str(), sys::FileAccess::read), sys::invalidFile());
}

// ---- Settings files -------------------------------------------------------------

TEST(PlatformProfile, ReadsIntegersLikeTheWindowsCall) {
    TempPath path("qw_platform_ini");
    EXPECT_EQ(sys::profileInt("Quillwave", "Decoder", 5, path.c_str()), 5u);  // no file
    path.write(
        "[quillwave]\n"
        "  DECODER  =  7  \n"
        "Negative=-3\n"
        "Trailing=12abc\n"
        "Word=abc\n"
        "Empty=\n"
        "Quoted=\"4\"\n"
        "[Other]\n"
        "Missing=9\n");
    EXPECT_EQ(sys::profileInt("Quillwave", "Decoder", 0, path.c_str()), 7u);
    EXPECT_EQ(sys::profileInt(" QUILLWAVE ", "decoder", 0, path.c_str()), 7u);
    EXPECT_EQ(sys::profileInt("Quillwave", "Negative", 0, path.c_str()), static_cast<uint32_t>(-3));
    EXPECT_EQ(sys::profileInt("Quillwave", "Trailing", 0, path.c_str()), 12u);
    EXPECT_EQ(sys::profileInt("Quillwave", "Word", 5, path.c_str()), 0u);
    EXPECT_EQ(sys::profileInt("Quillwave", "Empty", 5, path.c_str()), 5u);
    EXPECT_EQ(sys::profileInt("Quillwave", "Quoted", 0, path.c_str()), 4u);
    EXPECT_EQ(sys::profileInt("Quillwave", "Missing", 5, path.c_str()), 5u);  // in another section
    EXPECT_EQ(sys::profileInt("Absent", "Decoder", -1, path.c_str()), static_cast<uint32_t>(-1));
}

TEST(PlatformProfile, WritesKeepEverythingElseInPlace) {
    TempPath path("qw_platform_ini");
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));  // creates the file
    EXPECT_EQ(path.read(), "[Quillwave]\nDecoder=1\n");
    EXPECT_EQ(sys::profileInt("Quillwave", "Decoder", 0, path.c_str()), 1u);

    path.write(
        "; player settings\n"
        "[Player]\n"
        "Volume=80\n"
        "\n"
        "[QUILLWAVE]\n"
        "# chosen on the settings page\n"
        "decoder = 0\n"
        "Other=x\n"
        "\n"
        "[Last]\n"
        "Key=1\n");
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("quillwave", "Added", "2", path.c_str()));
    ASSERT_TRUE(sys::writeProfileString("New", "Key", "3", path.c_str()));
    EXPECT_EQ(path.read(),
              "; player settings\n"
              "[Player]\n"
              "Volume=80\n"
              "\n"
              "[QUILLWAVE]\n"
              "# chosen on the settings page\n"
              "Decoder=1\n"
              "Other=x\n"
              "Added=2\n"
              "\n"
              "[Last]\n"
              "Key=1\n"
              "\n"
              "[New]\n"
              "Key=3\n");
    EXPECT_EQ(sys::profileInt("QuillWave", "DECODER", 0, path.c_str()), 1u);
    EXPECT_EQ(sys::profileInt("Last", "Key", 0, path.c_str()), 1u);
    EXPECT_EQ(sys::profileInt("New", "Key", 0, path.c_str()), 3u);

    path.write("[Quillwave]\r\nDecoder=0\r\n");  // line endings stay as found
    ASSERT_TRUE(sys::writeProfileString("Quillwave", "Decoder", "1", path.c_str()));
    EXPECT_EQ(path.read(), "[Quillwave]\r\nDecoder=1\r\n");
}

// ---- Message boxes and formatted strings ------------------------------------------

struct BoxLog {
    std::string text;
    int calls = 0;
};

void recordBox(void* context, const char* text, const char* caption) {
    auto* log = static_cast<BoxLog*>(context);
    log->text = std::string(caption) + ": " + text;
    ++log->calls;
}

TEST(PlatformMessageBox, GoesToTheObserverWhileOneIsSet) {
    BoxLog log;
    sys::setMessageBoxObserver(recordBox, &log);
    EXPECT_EQ(sys::messageBox(nullptr, "Layer2 Unsupported", "ERROR", 0), 1);
    sys::setMessageBoxObserver(nullptr, nullptr);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.text, "ERROR: Layer2 Unsupported");

    testing::internal::CaptureStderr();
    EXPECT_EQ(sys::messageBox(nullptr, "text", "caption", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "caption: text\n");
    EXPECT_EQ(log.calls, 1);
}

TEST(PlatformFormat, StopsAtOneThousandTwentyFourCharacters) {
    char output[1100];
    EXPECT_EQ(sys::formatString(output, "%dkb/s %s", 128, "MPEG"), 12);
    EXPECT_STREQ(output, "128kb/s MPEG");

    std::memset(output, '#', sizeof(output));
    std::string longText(1500, 'a');
    EXPECT_EQ(sys::formatString(output, "%s", longText.c_str()), 1024);
    EXPECT_EQ(std::strlen(output), 1024u);
    EXPECT_EQ(output[1025], '#');
}

// ---- Modules ---------------------------------------------------------------------

TEST(PlatformModule, KeepsTheFirstInstanceAndLoadsLibraries) {
    static int first = 0;  // the kept handle outlives the test
    static int second = 0;
    sys::Handle before = sys::moduleInstance();
    sys::setModuleInstance(&first);
    sys::Handle kept = before != nullptr ? before : &first;
    sys::setModuleInstance(&second);
    sys::setModuleInstance(nullptr);
    EXPECT_EQ(sys::moduleInstance(), kept);

    EXPECT_EQ(sys::loadLibrary("/no/such/library.so"), nullptr);
    EXPECT_FALSE(sys::lastErrorText().empty());
    sys::Handle math = sys::loadLibrary("libm.so.6");
    ASSERT_NE(math, nullptr);
    EXPECT_NE(sys::librarySymbol(math, "cos"), nullptr);
    EXPECT_EQ(sys::librarySymbol(math, "no_such_symbol_here"), nullptr);
    EXPECT_NE(sys::lastErrorText().find("no_such_symbol_here"), std::string::npos);
    sys::freeLibrary(math);

    std::string folder = sys::executableDirectory();
    EXPECT_TRUE(!folder.empty() && folder.back() != '/' && fs::is_directory(folder)) << folder;
}

}  // namespace
}  // namespace qw
