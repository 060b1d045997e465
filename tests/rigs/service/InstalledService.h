// The "Vandrel Service" registration in the Wine session's real Service
// Control Manager, driven through VandrelService.exe as a person would.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "contract/StatusBlock.h"
#include "tests/doubles/status/SharedNamesLock.h"
#include "tests/rigs/e2e/Process.h"
#include "win32/UniqueHandle.h"

namespace service_test {

// Runs VandrelService.exe with `arguments` (and `input` on its standard
// input); its output with "\r\n" read as "\n".
e2e::RunResult Service(std::string const& arguments, std::string const& input = std::string());

// Holds the shared names for the test and starts and ends with no service.
class InstalledService : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // "install <options>" (with `input` on its standard input), then opens
    // the registration.
    void Install(std::string const& options, std::string const& input = std::string());
    bool Start();
    bool Stop();
    // Polls until the service is in `state`; the last state seen.
    DWORD WaitForState(DWORD state);
    // Polls until the block's status word is `word`; the last words seen.
    StatusSnapshot WaitForWord(uint32_t word);

    perimand_test::SharedNamesLock names_;
    UniqueServiceHandle manager_{::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    UniqueServiceHandle service_;  // closed before uninstalling: it would keep the service registered
};

}  // namespace service_test
