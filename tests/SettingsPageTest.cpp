// The settings page: its description, the host calls of each event, and the "Decoder" value written.
#include "plugin/SettingsPage.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "tests/support/TempFile.h"

namespace {

using Call = std::tuple<uint32_t, uint32_t, intptr_t>;  // code, control, value
std::vector<Call> calls;

intptr_t QW_CALL recordCall(uintptr_t page, uint32_t code, uint32_t control, intptr_t value) {
    EXPECT_EQ(page, uintptr_t(0x5150));
    calls.emplace_back(code, control, value);
    return code == 0x1011C ? 77 : 0;
}

// The four marking calls for a choice.
std::vector<Call> marks(bool quality) {
    return {Call{0x10101, 100, quality ? 0 : 1}, Call{0x10105, 100, quality ? 1 : 0},
            Call{0x10101, 200, quality ? 1 : 0}, Call{0x10105, 200, quality ? 0 : 1}};
}

// The host's config command shows the controls' texts; the host calls each event makes are seen here.
TEST(SettingsPage, AnswersEachEventWithItsHostCalls) {
    const qw::test::TempFile ini("quillwave-settings-");
    ConfigRequest request{};
    request.iniPath = ini.c_str();
    ASSERT_EQ(qw::configure(&request), 1);
    ASSERT_EQ(request.panel->count, 4u);

    auto event = [&](uint32_t code, uintptr_t id) { request.panel->handler(0x5150, code, id, 0, recordCall); };
    event(qw::pageShown, 0);  // no key: "Best Performance"
    std::vector<Call> expected = {Call{0x10117, 0, 14}, Call{0x1011C, 0, 0}, Call{0x1010D, 0, 77}};
    for (const Call& m : marks(false)) expected.push_back(m);
    EXPECT_EQ(calls, expected);
    // An option is marked and written at once; other controls and events change nothing.
    for (uint32_t option : {200u, 100u, 300u}) {
        calls.clear();
        event(qw::controlActivated, option);
        if (option == 300) event(99, 0);  // not an event
        EXPECT_EQ(calls, option == 300 ? std::vector<Call>() : marks(option == 200));
        EXPECT_EQ(qw::sys::profileInt("Quillwave", "Decoder", 5, ini.c_str()), option == 200 ? 1u : 0u);
    }
    ASSERT_TRUE(qw::sys::writeProfileString("Quillwave", "Decoder", "7", ini.c_str()));
    event(qw::pageShown, 0);  // any nonzero value shows "Best Quality"
    EXPECT_EQ(std::vector<Call>(calls.end() - 4, calls.end()), marks(true));
    event(qw::pageClosed, reinterpret_cast<uintptr_t>(request.panel));
}

}  // namespace
