#include "companions/vandrel-service/ProtectionController.h"

#include <windows.h>

#include <utility>

#include "companions/common/Win32Error.h"
#include "companions/vandrel-service/ServiceEvents.h"
#include "companions/vandrel-service/ShutdownApi.h"

namespace vandrel {
namespace {

void Report(std::vector<ProtectionEvent> const& events) {
    for (ProtectionEvent const& event : events) ReportServiceEvent(event.event, event.detail);
}

void WarnSessions(ShutdownApi& api, bool hibernate, uint32_t graceSeconds) {
    SessionWarning const warning = ShutdownWarning(api.UiLanguage(), hibernate, graceSeconds);
    for (DWORD const session : api.UserSessions())
        api.SendSessionMessage(session, warning.title, warning.text, graceSeconds);
}

// Where Windows cannot hibernate, it shuts down instead; the policy's grace
// and the status line follow what will really happen.
ProtectionSettings WhatWindowsCanDo(ProtectionSettings settings) {
    if (settings.action == ShutdownAction::Hibernate && !Seam<ShutdownApi>::Current().HibernateAllowed())
        settings.action = ShutdownAction::Shutdown;
    return settings;
}

}  // namespace

ProtectionController::ProtectionController(ProtectionSettings const& settings, LinePublisher publishLine)
    : policy_(WhatWindowsCanDo(settings)), publishLine_(publishLine) {
    Publish();
}

void ProtectionController::TakeSettings(ProtectionSettings const& settings) {
    std::lock_guard<std::mutex> lock(settingsLock_);
    newSettings_ = settings;
}

void ProtectionController::OnReading(SourceReading const& reading) {
    {
        std::lock_guard<std::mutex> lock(settingsLock_);
        if (newSettings_) policy_.SetSettings(WhatWindowsCanDo(*newSettings_));
        newSettings_.reset();
    }
    ProtectionStep const step = policy_.Observe(reading, ::GetTickCount64());
    Report(step.events);
    if (step.action == ProtectionAction::Initiate) Report(policy_.Initiated(Initiate(policy_.Settings())));
    if (step.action == ProtectionAction::Cancel) Cancel(step.reason);
    Publish();
}

// Empty when Windows took it, else why not.
std::string ProtectionController::Initiate(ProtectionSettings const& settings) {
    ShutdownApi& api = Seam<ShutdownApi>::Current();
    // Hibernation keeps everyone's work: no need to wait before it.
    if (settings.action == ShutdownAction::Hibernate) {
        WarnSessions(api, true, settings.graceSeconds);
        DWORD const error = api.Hibernate();
        return error == ERROR_SUCCESS ? std::string() : companions::DescribeWin32Error(error);
    }
    DWORD const error = api.InitiateShutdown(settings.graceSeconds, kShutdownFlags, kShutdownReason);
    if (error != ERROR_SUCCESS) return companions::DescribeWin32Error(error);
    // Only once Windows has taken it, so the warning is never a false alarm.
    WarnSessions(api, false, settings.graceSeconds);
    return {};
}

void ProtectionController::Cancel(std::string const& reason) {
    DWORD const error = Seam<ShutdownApi>::Current().AbortShutdown();
    ReportServiceEvent(ServiceEvent::ShutdownCancelled,
                       error == ERROR_SUCCESS ? reason : reason + "; " + companions::DescribeWin32Error(error));
}

void ProtectionController::Publish() {
    std::string line = policy_.StatusLine();
    if (line == publishedLine_) return;
    publishLine_(line);
    publishedLine_ = std::move(line);
}

}  // namespace vandrel
