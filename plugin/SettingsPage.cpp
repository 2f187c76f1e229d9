// The one setting, "Decoder", and the page the host draws for it.
#include "plugin/SettingsPage.h"

#include <algorithm>
#include <iterator>

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

// The page's controls, as the host receives them.
const ConfigControl pageControls[] = {
    {-300, 100, 20, 25, 200, 100, "Quillwave v4.0", 0, QW_CONTROL_LABEL, 0, 0},
    {-450, 200, 30, 55, 200, 100, "Optimize decoding for:", 0, QW_CONTROL_LABEL, 0, 0},
    {-600, 300, 40, 70, 130, 10, "Best Performance", 0, QW_CONTROL_OPTION, 0, optionPerformance},
    {-750, 400, 40, 85, 130, 10, "Best Quality", 0, QW_CONTROL_OPTION, 0, optionQuality},
};
constexpr uint32_t pageControlCount = sizeof pageControls / sizeof pageControls[0];

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
    auto* controls = static_cast<ConfigControl*>(sys::globalAllocZeroed(sizeof pageControls));
    if (!panel || !controls) {
        // Nothing to show without memory; the host gets no page.
        sys::globalFree(controls);
        sys::globalFree(panel);
        request->panel = nullptr;
        return 0;
    }
    std::copy(std::begin(pageControls), std::end(pageControls), controls);
    panel->controls = controls;
    panel->count = pageControlCount;
    panel->handler = configEvent;
    setSettingsPath(request->iniPath);
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
