// The Configuration command starts the configuration program that sits
// beside the agent, with no arguments, every time it is chosen.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/UniqueHandle.h"
#include "res/resource.h"
#include "tests/e2e/EndToEnd.h"
#include "tests/support/e2e/Pump.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace agent_e2e {
namespace {

constexpr int kDellomarkInfoText = 1000;  // the text that says how it was started

std::string ImagePathOf(HWND window) {
    UniqueKernelHandle process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e2e::WindowProcessId(window)));
    char path[MAX_PATH * 2] = {};
    DWORD size = sizeof path;
    if (!process || !::QueryFullProcessImageNameA(process.get(), 0, path, &size)) return "";
    return path;
}

using Configuration = EndToEnd;

TEST_F(Configuration, StartsTheProgramBesideTheAgentWithNoArgumentsEachTimeItIsChosen) {
    ASSERT_TRUE(agent_.Start());
    const e2e::WindowQuery dellomark{"Dellomark", "DellomarkWindow", 0};

    agent_.PostCommand(ID_CONFIGURATION);
    HWND first = e2e::WaitForWindow(dellomark, kWaitMs);
    ASSERT_NE(nullptr, first) << "the configuration program did not start";

    // Beside the agent: the copy in this test's folder, not any other.
    EXPECT_STRCASEEQ(agent_.ConfigurationPath().c_str(), ImagePathOf(first).c_str());
    const std::wstring info = e2e::TextOf(::GetDlgItem(first, kDellomarkInfoText));
    EXPECT_NE(std::wstring::npos, info.find(L"Arguments: (none)")) << e2e::Utf8(info);

    agent_.PostCommand(ID_CONFIGURATION);
    EXPECT_TRUE(e2e::PumpUntil([&] { return e2e::FindTopLevelWindows(dellomark).size() == 2; }, kWaitMs))
        << "choosing it again did not start a second copy";
    EXPECT_TRUE(agent_.IsRunning());
}

}  // namespace
}  // namespace agent_e2e
