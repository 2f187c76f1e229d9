// Runs the built reference host with the built module, as a user runs it from a shell.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "tests/support/TempFile.h"

namespace qw::test {

struct HostRun {
    int status = -1;     // the exit status; 124 when a run had to be stopped
    std::string out;     // standard output, line ends as plain \n
    std::string bytes;   // standard output as written, for binary output
    std::string errors;  // standard error
};

// A stereo Layer III file at 44.1 kHz that ends in an ID3v1 tag.
inline const std::string sample = QW_SAMPLES_DIR "/sample.mp3";

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Equal outputs, or where they part.
inline testing::AssertionResult sameBytes(const std::string& got, const std::string& expected) {
    if (got == expected) return testing::AssertionSuccess();
    const auto differ = std::mismatch(got.begin(), got.end(), expected.begin(), expected.end());
    return testing::AssertionFailure() << got.size() << " bytes against " << expected.size() << ", first difference at "
                                       << (differ.first - got.begin());
}

// The little-endian 32-bit value at byte at of a WAV header.
inline uint32_t le32(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes.at(at)) | uint8_t(bytes.at(at + 1)) << 8 | uint8_t(bytes.at(at + 2)) << 16) |
           uint32_t(uint8_t(bytes.at(at + 3))) << 24;
}

// Runs `quillwave ARGUMENTS`, which may end in a pipe (`| cat`): what comes out at the end is captured.  Before goes in
// front of the program (an environment setting, a background writer); on POSIX a run that hangs is stopped.
inline HostRun runHost(const std::string& arguments, [[maybe_unused]] const std::string& before = "") {
    const TempFile out("quillwave-host-out"), errors("quillwave-host-err");
#if defined(_WIN32)
    std::string program = QW_BUILD_DIR "/quillwave";
    std::replace(program.begin(), program.end(), '/', '\\');  // '/' would start a switch
    const int raw = std::system(
        (program + " --plugin " QW_BUILD_DIR "/SQqw4.sqp " + arguments + " >" + out.path + " 2>" + errors.path)
            .c_str());
    HostRun run{raw, out.read(), "", errors.read()};
    run.bytes = run.out;
    run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
#else
    const int raw =
        std::system(("{ " + before + " timeout 60 " QW_BUILD_DIR "/quillwave --plugin " QW_BUILD_DIR "/SQqw4.sqp " +
                     arguments + "; } >" + out.path + " 2>" + errors.path)
                        .c_str());
    HostRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out.read(), "", errors.read()};
    run.bytes = run.out;
#endif
    return run;
}

// What `quillwave COMMAND INPUT OUTPUT` writes to an OUTPUT with the given extension; "" when it fails, and run, when
// given, says why.  Before is as for runHost.
inline std::string outputOf(const std::string& command, const std::string& input, HostRun* run = nullptr,
                            const std::string& extension = ".wav", const std::string& before = "") {
    const TempFile output("quillwave-output-", extension);
    const HostRun done = runHost(command + " " + input + " " + output.path, before);
    if (run != nullptr) *run = done;
    return done.status == 0 ? output.read() : "";
}

}  // namespace qw::test
