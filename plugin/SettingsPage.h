// The settings page: its description for the host and its event handler.
#pragma once

#include "quillwave/quillwave.h"

namespace qw {

// Events the host sends to the page's handler.
constexpr uint32_t pageShown = QW_PAGE_SHOWN;
constexpr uint32_t pageClosed = QW_PAGE_CLOSED;
constexpr uint32_t controlActivated = QW_CONTROL_ACTIVATED;

// Control ids of the two options.
constexpr uint32_t optionPerformance = 100;
constexpr uint32_t optionQuality = 200;

int32_t configure(ConfigRequest* request);
int32_t QW_CALL configEvent(uintptr_t page, uint32_t event, uintptr_t parameter, uintptr_t unused, ConfigHostFn host);

}  // namespace qw
