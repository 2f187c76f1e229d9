// Runs the built reference host with the built module, as a user runs it from a shell.
#pragma once

#include <algorithm>
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
    std::string errors;  // standard error
};

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
    HostRun run{raw, out.read(), errors.read()};
    run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
#else
    const int raw =
        std::system(("{ " + before + " timeout 60 " QW_BUILD_DIR "/quillwave --plugin " QW_BUILD_DIR "/SQqw4.sqp " +
                     arguments + "; } >" + out.path + " 2>" + errors.path)
                        .c_str());
    HostRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out.read(), errors.read()};
#endif
    return run;
}

}  // namespace qw::test
