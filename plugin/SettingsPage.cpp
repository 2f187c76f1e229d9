// The one setting, "Decoder", and the page the host draws for it.
#include "plugin/SettingsPage.h"

#include "platform/platform.h"
#include "plugin/PluginEntry.h"

namespace qw {

namespace {

const char settingsSection[] = "Quillwave";
const char decoderKey[] = "Decoder";

// Host function codes.
constexpr uint32_t hostPrepare = 0x10117;
constexpr uint32_t hostQuery = 0x1011C;
constexpr uint32_t hostApply = 0x1010D;
constexpr uint32_t hostCheck = QW_HOST_MARK_OPTION;
constexpr uint32_t hostEnable = 0x10105;

struct ControlSpec {
    int32_t hostValue0, hostValue1, x, y, width, height;
    const char* text;
    uint32_t kind, id;
};

const ControlSpec pageControls[4] = {
    {-300, 100, 20, 25, 200, 100, "Quillwave v4.0", QW_CONTROL_LABEL, 0},
    {-450, 200, 30, 55, 200, 100, "Optimize decoding for:", QW_CONTROL_LABEL, 0},
    {-600, 300, 40, 70, 130, 10, "Best Performance", QW_CONTROL_OPTION, optionPerformance},
    {-750, 400, 40, 85, 130, 10, "Best Quality", QW_CONTROL_OPTION, optionQuality},
};

// Marks one option chosen: always the same four calls, in this order.
void markChoice(ConfigHostFn host, uintptr_t page, uint32_t chosen) {
    for (uint32_t option : {optionPerformance, optionQuality}) {
        const bool isChosen = option == chosen;
        host(page, hostCheck, option, isChosen ? 1 : 0);
        host(page, hostEnable, option, isChosen ? 0 : 1);
    }
}

}  // namespace

int32_t configure(ConfigRequest* request) {
    auto* panel = static_cast<ConfigPanel*>(sys::globalAllocZeroed(sizeof(ConfigPanel)));
    auto* controls = static_cast<ConfigControl*>(sys::globalAllocZeroed(4 * sizeof(ConfigControl)));
    if (!panel || !controls) {
        // Nothing to show without memory; the host gets no page.
        sys::globalFree(controls);
        sys::globalFree(panel);
        request->panel = nullptr;
        return 0;
    }
    panel->controls = controls;
    panel->count = 4;
    panel->handler = configEvent;
    setSettingsPath(request->iniPath);
    for (int i = 0; i < 4; ++i) {
        const ControlSpec& s = pageControls[i];
        ConfigControl& c = controls[i];
        c.hostValue0 = s.hostValue0;
        c.hostValue1 = s.hostValue1;
        c.x = s.x;
        c.y = s.y;
        c.width = s.width;
        c.height = s.height;
        c.text = s.text;
        c.kind = s.kind;
        c.id = s.id;
    }
    request->panel = panel;
    return 1;
}

int32_t QW_CALL configEvent(uintptr_t page, uint32_t event, uintptr_t parameter, uintptr_t, ConfigHostFn host) {
    switch (event) {
        case pageShown: {
            const uint32_t decoder = sys::profileInt(settingsSection, decoderKey, 0, settingsPath());
            host(page, hostPrepare, 0, 14);
            const intptr_t answer = host(page, hostQuery, 0, 0);
            host(page, hostApply, 0, answer);
            markChoice(host, page, decoder == 0 ? optionPerformance : optionQuality);
            break;
        }
        case controlActivated:
            if (parameter == optionPerformance || parameter == optionQuality) {
                markChoice(host, page, uint32_t(parameter));
                sys::writeProfileString(settingsSection, decoderKey, parameter == optionPerformance ? "0" : "1",
                                        settingsPath());
            }
            break;
        case pageClosed: {
            auto* panel = reinterpret_cast<ConfigPanel*>(parameter);
            if (panel) {
                sys::globalFree(panel->controls);
                sys::globalFree(panel);
            }
            break;
        }
        default:
            break;
    }
    return 0;
}

}  // namespace qw
