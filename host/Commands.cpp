// The host's commands by name, its usage text and its error report.
#include <cstdio>
#include <string>

#include "host/Commands.h"

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
    "\n"
    "options:\n"
    "  --plugin PATH   the module to load (default: SQqw4.sqp beside this program)\n"
    "  --ini FILE      the settings file (default: quillwave.ini in the user's\n"
    "                  config folder)\n";

int fail(const std::string& message, int code) {
    std::fprintf(stderr, "quillwave: %s\n", message.c_str());
    return code;
}

int runCommand(const Options& options) {
    if (options.args.empty()) return fail(std::string("no command\n") + usage);
    const std::string& command = options.args[0];
    if (command == "decode") return decodeCommand(options);
    if (command == "record") return recordCommand(options);
    if (command == "info") return infoCommand(options);
    if (command == "tag") return tagCommand(options);
    if (command == "config") return configCommand(options);
    return fail("unknown command " + command + "\n" + usage);
}

}  // namespace qw::host
