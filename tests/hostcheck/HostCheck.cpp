// quillwave_hostcheck: runs a list of reference-host commands, and checks of its own, in one process, each command's
// standard output and error captured in files of their own.  The same list run by the Linux build and by a Windows
// build must leave the same files, byte for byte: PCM, tagged copies, settings files and every text.  Starting a
// process is what costs most under emulation, so one process does it all.
//
// Usage: quillwave_hostcheck [--plugin PATH] LIST
// Each line of LIST is NAME, a tab, then the arguments of one command, tab separated: [--ini FILE] COMMAND ARGS...
// COMMAND is a host command (decode, record, info, tag, config) or "playback" (see PlaybackCheck.h).  Standard output
// goes to NAME.out, standard error to NAME.err, which ends with the command's status.  The commands close the
// module's message boxes themselves and count them in their output.
#include <fcntl.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#if defined(_WIN32)
#include <io.h>
#include <sys/stat.h>
#define QW_DUP _dup
#define QW_DUP2 _dup2
#define QW_CLOSE _close
#define QW_OPEN_FLAGS (_O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY)
#define QW_OPEN(path) _open(path, QW_OPEN_FLAGS, _S_IREAD | _S_IWRITE)
#else
#include <unistd.h>
#define QW_DUP dup
#define QW_DUP2 dup2
#define QW_CLOSE close
#define QW_OPEN(path) open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644)
#endif

#include "host/Commands.h"
#include "host/Module.h"
#include "tests/hostcheck/PlaybackCheck.h"

namespace {

using namespace qw::host;

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
}

// One listed command: the host's own, or the playback check.
int runListed(Options options) {
    // --ini before the command, as the host takes it.
    while (options.args.size() >= 2 && options.args[0] == "--ini") {
        options.ini = options.args[1];
        options.args.erase(options.args.begin(), options.args.begin() + 2);
    }
    if (options.ini.empty()) options.ini = "hostcheck.ini";
    if (!options.args.empty() && options.args[0] == "playback") return qw::check::playbackCommand(options);
    return runCommand(options);
}

const char checkUsage[] = "usage: quillwave_hostcheck [--plugin PATH] LIST\n";

// Points standard output and error at files for as long as it lives.
class Captured {
public:
    explicit Captured(const std::string& name) {
        std::fflush(stdout), std::fflush(stderr);
        savedOut = QW_DUP(1), savedErr = QW_DUP(2);
        const int out = QW_OPEN((name + ".out").c_str());
        const int err = QW_OPEN((name + ".err").c_str());
        ok = out >= 0 && err >= 0 && savedOut >= 0 && savedErr >= 0;
        if (out >= 0) QW_DUP2(out, 1), QW_CLOSE(out);
        if (err >= 0) QW_DUP2(err, 2), QW_CLOSE(err);
    }
    ~Captured() {
        std::fflush(stdout), std::fflush(stderr);
        QW_DUP2(savedOut, 1), QW_DUP2(savedErr, 2);
        QW_CLOSE(savedOut), QW_CLOSE(savedErr);
    }
    bool ok = false;

private:
    int savedOut = -1, savedErr = -1;
};

}  // namespace

int main(int argc, char** argv) {
    std::string plugin, list;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--plugin" && i + 1 < argc) {
            plugin = argv[++i];
        } else if (list.empty()) {
            list = a;
        } else {
            return fail(checkUsage, 1);
        }
    }
    if (list.empty()) return fail(checkUsage, 1);
    if (plugin.empty()) plugin = defaultModulePath();
    std::ifstream in(list, std::ios::binary);
    if (!in) return fail("cannot read " + list, 1);
#if defined(_WIN32)
    // Text goes out as it is, with \n line ends, as on Linux.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
#endif

    int failedToRun = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = splitTabs(line);
        const std::string name = fields[0];
        Options options;
        options.plugin = plugin;
        options.args.assign(fields.begin() + 1, fields.end());

        const auto began = std::chrono::steady_clock::now();
        int status = 0;
        {
            Captured captured(name);
            if (!captured.ok) {
                ++failedToRun;
                continue;
            }
            status = runListed(options);
            std::fprintf(stderr, "status %d\n", status);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        std::printf("%-28s status %d  %6.2f s\n", name.c_str(), status, seconds);
        std::fflush(stdout);
    }
    return failedToRun == 0 ? 0 : 1;
}
