// The host's commands by name, its usage text and its error report.
#include <sys/stat.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/Commands.h"
#include "quillwave/quillwave.h"

namespace qw::host {

const char usage[] =
    "usage: quillwave [--plugin PATH] [--ini FILE] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  decode [--decoder performance|quality] [--seek MS] [--no-gapless]\n"
    "         INPUT OUTPUT\n"
    "      decode INPUT to OUTPUT: .wav for WAV, .pcm or .raw for raw signed\n"
    "      16-bit little-endian interleaved PCM, - for WAV on standard output\n"
    "  record [--chunk BYTES] [--no-gapless] INPUT OUTPUT\n"
    "      decode INPUT through the module's recorder interface, pulling PCM in\n"
    "      chunks of BYTES (default 16384); OUTPUT as for decode\n"
    "  info [--show] INPUT\n"
    "      play the start of INPUT and print its song information and what its\n"
    "      file-information dialog shows; with --show, keep the dialog open\n"
    "      (Windows) until it is closed\n"
    "  tag INPUT [--artist S] [--title S] [--album S] [--year S] [--comment S]\n"
    "            [--genre N|NAME] [--wipe]\n"
    "      set the given fields of INPUT's ID3v1 tag in the file-information\n"
    "      dialog and save it, or wipe the tag; with neither, print the tag\n"
    "  config [performance|quality]\n"
    "      show the settings page; with a choice, make it and close the page\n"
    "  --help\n"
    "      this text\n"
    "  --version\n"
    "      print the version\n"
    "\n"
    "options:\n"
    "  --plugin PATH   the module to load (default: SQqw4.sqp beside this program,\n"
    "                  else in ../lib/quillwave/ from its folder)\n"
    "  --ini FILE      the settings file (default: quillwave.ini in the user's\n"
    "                  config folder)\n";

const char usageHint[] = " (quillwave --help shows the usage)";

int fail(const std::string& message, int code) {
    std::fprintf(stderr, "quillwave: %s\n", message.c_str());
    return code;
}

void warn(const std::string& message) { std::fprintf(stderr, "quillwave: warning: %s\n", message.c_str()); }

bool Arguments::has(const std::string& name) const { return value(name) != nullptr; }

const std::string* Arguments::value(const std::string& name) const {
    const std::string* found = nullptr;
    for (const auto& option : options)
        if (option.first == name) found = &option.second;
    return found;
}

bool parseArguments(const Options& options, std::initializer_list<KnownOption> known, Arguments* arguments,
                    std::string* error) {
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        if (a.size() < 2 || a[0] != '-') {
            arguments->operands.push_back(a);
            continue;
        }
        const KnownOption* option = nullptr;
        for (const KnownOption& k : known)
            if (a == k.name) option = &k;
        if (option == nullptr) {
            *error = "unknown option " + a + " for " + options.args[0];
            return false;
        }
        if (!option->takesValue) {
            arguments->options.emplace_back(a, "");
        } else if (i + 1 < options.args.size()) {
            arguments->options.emplace_back(a, options.args[++i]);
        } else {
            *error = "missing value for " + a;
            return false;
        }
    }
    return true;
}

bool parseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text.size() > 19) return false;
    uint64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + uint64_t(c - '0');
    }
    if (number > max) return false;
    *value = number;
    return true;
}

namespace {

std::string tooLong(const std::string& path, size_t room) {
    return "the path " + path.substr(0, 40) + "... is " + std::to_string(path.size()) +
           " bytes long; the module takes at most " + std::to_string(room - 1);
}

}  // namespace

std::string inputProblem(const std::string& path) {
    if (path == "-") return "";
    if (path.size() >= QW_FILE_PATH_BYTES) return tooLong(path, QW_FILE_PATH_BYTES);
#if defined(_WIN32)
    // The C runtime's stat fails on a folder named with a trailing separator ("C:\\Temp\\"), so the separators go,
    // except the one that makes a drive's root.
    std::string named = path;
    while (named.size() > 1 && (named.back() == '\\' || named.back() == '/') && named[named.size() - 2] != ':')
        named.pop_back();
    struct _stat64 status {};
    const int result = _stat64(named.c_str(), &status);
    const bool directory = result == 0 && (status.st_mode & _S_IFMT) == _S_IFDIR;
#else
    struct stat status {};
    const int result = stat(path.c_str(), &status);
    const bool directory = result == 0 && S_ISDIR(status.st_mode);
#endif
    if (result != 0 && errno == ENOENT) return path + " does not exist";
    if (result != 0) return "cannot read " + path + ": " + std::strerror(errno);
    if (directory) return path + " is a directory, not a file";
    return "";
}

int runCommand(const Options& options) {
    if (options.args.empty()) return fail(std::string("no command\n") + usage);
    const std::string& command = options.args[0];
    if (options.ini.size() >= QW_INI_PATH_BYTES)
        return fail("settings file: " + tooLong(options.ini, QW_INI_PATH_BYTES));
    if (command == "decode") return decodeCommand(options);
    if (command == "record") return recordCommand(options);
    if (command == "info") return infoCommand(options);
    if (command == "tag") return tagCommand(options);
    if (command == "config") return configCommand(options);
    return fail("unknown command " + command + usageHint);
}

}  // namespace qw::host
