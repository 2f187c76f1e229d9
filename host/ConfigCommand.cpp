// quillwave config: shows the module's settings page as text, and makes a
// choice on it.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

#include "host/Commands.h"
#include "host/Module.h"
#include "host/Settings.h"
#include "quillwave/quillwave.h"

namespace qw::host {

namespace {

constexpr uintptr_t pageHandle = 1;

// The marks the page asked for, by control id.
std::map<uint32_t, bool> marks;

intptr_t QW_CALL pageHost(uintptr_t, uint32_t code, uint32_t control, intptr_t value) {
    if (code == QW_HOST_MARK_OPTION) marks[control] = value != 0;
    return 0;
}

std::string pageText(const ConfigPanel& panel) {
    std::string text;
    for (uint32_t i = 0; i < panel.count; ++i) {
        const ConfigControl& c = panel.controls[i];
        const std::string label = c.text != nullptr ? c.text : "";
        if (c.kind == QW_CONTROL_OPTION) {
            text += std::string("  (") + (marks[c.id] ? '*' : ' ') + ") " + label + "\n";
        } else {
            text += label + "\n";
        }
    }
    return text;
}

// Why a settings file does not hold what was written to it, as far as the
// file system tells.
std::string unwritten(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(path, error)) return "it is a folder";
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, error)) return "its folder does not exist";
    return "it could not be written";
}

}  // namespace

int configCommand(const Options& options) {
    std::string choice;
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        if (choice.empty() && (a == "performance" || a == "quality")) {
            choice = a;
        } else {
            return fail("config takes performance or quality, not " + a + usageHint);
        }
    }

    Module module;
    if (!module.load(options.plugin)) return fail(module.error(), 2);
    if (!module.configure) return fail("the module has no settings page", 2);

    ConfigRequest request{};
    request.iniPath = options.ini.c_str();
    if (module.configure(&request) != 1 || request.panel == nullptr || request.panel->handler == nullptr) {
        return fail("the module described no settings page", 2);
    }
    ConfigPanel* panel = request.panel;

    std::printf("Settings (%s)\n", options.ini.c_str());
    panel->handler(pageHandle, QW_PAGE_SHOWN, 0, 0, pageHost);
    std::fputs(pageText(*panel).c_str(), stdout);

    int status = 0;
    std::string chosen, page;  // told once the settings file shows the choice
    if (!choice.empty()) {
        const char* wanted = choice == "quality" ? "Best Quality" : "Best Performance";
        uint32_t id = 0;
        for (uint32_t i = 0; i < panel->count; ++i) {
            const ConfigControl& c = panel->controls[i];
            if (c.kind == QW_CONTROL_OPTION && c.text != nullptr && std::string(c.text) == wanted) id = c.id;
        }
        if (id == 0) {
            status = fail(std::string("the page has no option ") + wanted, 2);
        } else {
            panel->handler(pageHandle, QW_CONTROL_ACTIVATED, id, 0, pageHost);
            chosen = wanted;
            page = pageText(*panel);
        }
    }
    panel->handler(pageHandle, QW_PAGE_CLOSED, reinterpret_cast<uintptr_t>(panel), 0, pageHost);
    if (!chosen.empty()) {
        // The page writes the choice as it is made and tells nobody whether
        // the write succeeded: the file is read back to know.
        const int32_t value = choice == "quality" ? 1 : 0;
        if (savedDecoder(options.ini) != value) {
            return fail("the choice was not saved: " + options.ini + " does not hold " + decoderKey + "=" +
                        std::to_string(value) + " (" + unwritten(options.ini) + ")");
        }
        std::fprintf(stderr, "Chosen: %s\n", chosen.c_str());
        std::fputs(page.c_str(), stdout);
    }
    return status;
}

}  // namespace qw::host
