// quillwave config: shows the module's settings page as text, and makes a
// choice on it.
#include <cstdio>
#include <map>
#include <string>

#include "host/Commands.h"
#include "host/Module.h"
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

void printPage(const ConfigPanel& panel) {
    for (uint32_t i = 0; i < panel.count; ++i) {
        const ConfigControl& c = panel.controls[i];
        const char* text = c.text != nullptr ? c.text : "";
        if (c.kind == QW_CONTROL_OPTION) {
            std::printf("  (%c) %s\n", marks[c.id] ? '*' : ' ', text);
        } else {
            std::printf("%s\n", text);
        }
    }
}

}  // namespace

int configCommand(const Options& options) {
    std::string choice;
    for (size_t i = 1; i < options.args.size(); ++i) {
        const std::string& a = options.args[i];
        if (choice.empty() && (a == "performance" || a == "quality")) {
            choice = a;
        } else {
            return fail("config takes performance or quality\n" + std::string(usage));
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
    printPage(*panel);

    int status = 0;
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
            std::printf("Chosen: %s\n", wanted);
            printPage(*panel);
        }
    }
    panel->handler(pageHandle, QW_PAGE_CLOSED, reinterpret_cast<uintptr_t>(panel), 0, pageHost);
    return status;
}

}  // namespace qw::host
