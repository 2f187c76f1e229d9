// quillwave: the reference host.  It loads the module file and drives it
// through its exports and the PlayerContext, as any host player would.
#include <cstdio>
#include <string>

#include "host/Commands.h"
#include "host/Module.h"
#include "host/Settings.h"

int main(int argc, char** argv) {
    using namespace qw::host;
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--version" && options.args.empty()) {
            std::printf("quillwave %s\n", QW_VERSION);
            return 0;
        }
        if ((a == "--plugin" || a == "--ini") && options.args.empty()) {
            if (i + 1 >= argc) return fail("missing value for " + a);
            (a == "--plugin" ? options.plugin : options.ini) = argv[++i];
        } else if (a == "--help" || a == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else {
            options.args.push_back(a);
        }
    }
    if (options.args.empty()) return fail(std::string("no command\n") + usage);
    if (options.plugin.empty()) options.plugin = defaultModulePath();
    if (options.ini.empty()) options.ini = userSettingsPath();
    return runCommand(options);
}
