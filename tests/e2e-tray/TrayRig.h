// The one rig for the built agent and the notification area: a fake tray
// receives the real Shell_NotifyIconA traffic that Wine forwards, and a
// status block double can play the monitoring service (or the real service
// publishes).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "tests/support/tray/FakeTray.h"
#include "tests/support/status/StatusBlockDouble.h"
#include "tests/support/e2e/Process.h"
#include "tests/support/e2e/TempFolder.h"
#include "tests/support/e2e/TopLevelWindows.h"

namespace tray_e2e {

using fake_tray::FakeTray;
using fake_tray::Notification;

constexpr char kAgentTitle[] = "Orvastel";
constexpr char kAgentFileName[] = "Perimand.exe";
constexpr DWORD kWaitMs = 10000;
constexpr UINT kTrayCallback = 0x1402;

inline std::string Utf8(const std::wstring& text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string converted(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &converted[0], size, nullptr, nullptr);
    converted.resize(converted.size() - 1);
    return converted;
}

class TrayEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // A run cut short by a timeout cannot end the agent it started.
        e2e::KillProcessesNamed(kAgentFileName);
        ASSERT_EQ(nullptr, ::FindWindowA(nullptr, kAgentTitle)) << "another agent window is in the way";
        folder_ = std::make_unique<e2e::TempFolder>("perimand tray");
        agentPath_ = folder_->CopyIn(e2e::HostPathToWindows(PERIMAND_AGENT_EXE), kAgentFileName);
        // Before the agent: Wine hands every request to the first tray window.
        tray_ = std::make_unique<FakeTray>();
    }

    void StartAgent() {
        agent_ = std::make_unique<e2e::Process>(e2e::Process::Start(agentPath_, ""));
        window_ = e2e::WaitForWindow({kAgentTitle, "", agent_->Id()}, kWaitMs);
        ASSERT_NE(nullptr, window_) << "the agent window did not appear";
    }

    // The first request from the agent window, from index `from` on, with
    // this action (and tooltip, when given).
    std::optional<FakeTray::Found> WaitFor(DWORD action, size_t from,
                                           const std::wstring* tip = nullptr) const {
        const DWORD window = fake_tray::WindowId(window_);
        return tray_->WaitFor(
            [&](const Notification& seen) {
                return seen.window == window && seen.action == action && (tip == nullptr || seen.tip == *tip);
            },
            from, kWaitMs);
    }

    std::uint64_t IconHash(UINT iconId) const { return fake_tray::ModuleIconHash(agentPath_, iconId); }

    // Each status word in turn: the tooltip and the icon follow it.
    void ExpectShown(size_t from, const std::wstring& tip, UINT iconId) {
        SCOPED_TRACE(Utf8(tip));
        std::optional<FakeTray::Found> seen = WaitFor(NIM_MODIFY, from, &tip);
        ASSERT_TRUE(seen.has_value()) << "the tooltip did not follow the status word";
        EXPECT_EQ(IconHash(iconId), seen->notification.iconHash);
    }

    // Destroyed in reverse: the agent first, then the tray, then the block.
    perimand_test::StatusBlockDouble block_;
    std::unique_ptr<e2e::TempFolder> folder_;
    std::string agentPath_;
    std::unique_ptr<FakeTray> tray_;
    std::unique_ptr<e2e::Process> agent_;
    HWND window_ = nullptr;
};

}  // namespace tray_e2e
