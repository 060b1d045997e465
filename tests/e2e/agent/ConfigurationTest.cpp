// The Configuration command starts the configuration program that sits
// beside the agent, with no arguments, every time it is chosen.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "configurator/resource.h"
#include "res/resource.h"
#include "tests/rigs/e2e/EndToEnd.h"
#include "tests/rigs/e2e/Pump.h"
#include "tests/rigs/e2e/TopLevelWindows.h"
#include "win32/UniqueHandle.h"

namespace agent_e2e {
namespace {

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
    e2e::WindowQuery const dellomark{"", DELLOMARK_DIALOG_CLASS, 0};

    // Its dialog is the sign of no arguments: given any, the program only
    // says that it takes none.
    agent_.PostCommand(ID_CONFIGURATION);
    HWND first = e2e::WaitForWindow(dellomark, kWaitMs);
    ASSERT_NE(nullptr, first) << "the configuration program did not start, or not without arguments";

    // Beside the agent: the copy in this test's folder, not any other.
    EXPECT_STRCASEEQ(agent_.ConfigurationPath().c_str(), ImagePathOf(first).c_str());

    // Chosen again, it starts again; that start restores the open dialog,
    // which nothing else would, and ends, so there is still one.
    ::ShowWindow(first, SW_MINIMIZE);
    ASSERT_TRUE(e2e::PumpUntil([&] { return ::IsIconic(first) != FALSE; }, kWaitMs));
    agent_.PostCommand(ID_CONFIGURATION);
    EXPECT_TRUE(e2e::PumpUntil([&] { return !::IsIconic(first); }, kWaitMs))
        << "choosing it again did not bring the open dialog back";
    EXPECT_EQ(1u, e2e::FindTopLevelWindows(dellomark).size());
    EXPECT_TRUE(agent_.IsRunning());
}

}  // namespace
}  // namespace agent_e2e
