// The fixture of every end-to-end test: the built agent in a folder of its
// own with the configuration program beside it, a fake tray that hears its
// icon, the machine-wide names held against other test processes, and no
// "Vandrel Service" registration left from earlier runs.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/doubles/status/SharedNamesLock.h"
#include "tests/rigs/e2e/AgentUnderTest.h"
#include "tests/rigs/service/ServiceRegistration.h"

namespace agent_e2e {

using e2e::kWaitMs;
using service_test::InstallService;
using service_test::RemoveService;
using service_test::ServiceState;
using service_test::StartServiceNow;
using service_test::WaitForServiceState;

// The tooltip the agent shows for string `first`, or `first` and `second`
// joined, in `language` (0: the running user's).
std::wstring Tip(UINT first, UINT second = 0, LANGID language = 0);

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override;

    perimand_test::SharedNamesLock names_;
    e2e::AgentUnderTest agent_;
};

}  // namespace agent_e2e
