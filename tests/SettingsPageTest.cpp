// The settings page: its description, the host calls of each event, and the
// "Decoder" value written.
#include "plugin/SettingsPage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"

namespace {

using Call = std::tuple<uint32_t, uint32_t, intptr_t>;  // code, control, value
std::vector<Call> calls;

intptr_t QW_CALL recordCall(uintptr_t page, uint32_t code, uint32_t control, intptr_t value) {
    EXPECT_EQ(page, uintptr_t(0x5150));
    calls.emplace_back(code, control, value);
    return code == 0x1011C ? 77 : 0;
}

std::string iniText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SettingsPage : public ::testing::Test {
protected:
    void SetUp() override {
        ini = testing::TempDir() + "quillwave-settings-test.ini";
        std::remove(ini.c_str());
        request.iniPath = ini.c_str();
        ASSERT_EQ(qw::configure(&request), 1);
        panel = request.panel;
        calls.clear();
    }
    void TearDown() override {
        panel->handler(0x5150, qw::pageClosed, reinterpret_cast<uintptr_t>(panel), 0, recordCall);
        std::remove(ini.c_str());
    }
    void show() { panel->handler(0x5150, qw::pageShown, 0, 0, recordCall); }

    std::string ini;
    ConfigRequest request{};
    ConfigPanel* panel = nullptr;
};

// The four marking calls for a choice.
std::vector<Call> marks(bool quality) {
    return {Call{0x10101, 100, quality ? 0 : 1}, Call{0x10105, 100, quality ? 1 : 0},
            Call{0x10101, 200, quality ? 1 : 0}, Call{0x10105, 200, quality ? 0 : 1}};
}

}  // namespace

TEST_F(SettingsPage, DescribesFourControls) {
    ASSERT_EQ(panel->count, 4u);
    EXPECT_EQ(panel->handler, qw::configEvent);
    const ConfigControl* c = panel->controls;
    EXPECT_STREQ(c[0].text, "Quillwave v4.0");
    EXPECT_EQ(c[0].kind, 0x1003u);
    EXPECT_EQ(c[0].hostValue0, -300);
    EXPECT_STREQ(c[1].text, "Optimize decoding for:");
    EXPECT_EQ(c[1].x, 30);
    EXPECT_STREQ(c[2].text, "Best Performance");
    EXPECT_EQ(c[2].kind, 0x1000u);
    EXPECT_EQ(c[2].id, 100u);
    EXPECT_EQ(c[2].height, 10);
    EXPECT_STREQ(c[3].text, "Best Quality");
    EXPECT_EQ(c[3].id, 200u);
    EXPECT_EQ(c[3].hostValue0, -750);
    EXPECT_EQ(c[3].hostValue1, 400);
    EXPECT_EQ(c[3].y, 85);
    EXPECT_EQ(c[3].word7, 0u);
}

TEST_F(SettingsPage, ShowingCallsTheHostInOrder) {
    show();  // no key: "Best Performance"
    std::vector<Call> expected = {Call{0x10117, 0, 14}, Call{0x1011C, 0, 0}, Call{0x1010D, 0, 77}};
    for (const Call& m : marks(false)) expected.push_back(m);
    EXPECT_EQ(calls, expected);

    ASSERT_TRUE(qw::sys::writeProfileString("Quillwave", "Decoder", "7", ini.c_str()));
    calls.clear();
    show();  // any nonzero value shows "Best Quality"
    EXPECT_EQ(std::vector<Call>(calls.begin() + 3, calls.end()), marks(true));
}

TEST_F(SettingsPage, ActivatingAnOptionWritesItAtOnce) {
    panel->handler(0x5150, qw::controlActivated, 200, 0, recordCall);
    EXPECT_EQ(calls, marks(true));
    EXPECT_EQ(qw::sys::profileInt("Quillwave", "Decoder", 5, ini.c_str()), 1u);
    EXPECT_NE(iniText(ini).find("Decoder=1"), std::string::npos);
    calls.clear();
    panel->handler(0x5150, qw::controlActivated, 100, 0, recordCall);
    EXPECT_EQ(calls, marks(false));
    EXPECT_NE(iniText(ini).find("Decoder=0"), std::string::npos);
    calls.clear();
    panel->handler(0x5150, qw::controlActivated, 300, 0, recordCall);  // not an option
    panel->handler(0x5150, 99, 0, 0, recordCall);                      // not an event
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(qw::sys::profileInt("Quillwave", "Decoder", 5, ini.c_str()), 0u);
}
