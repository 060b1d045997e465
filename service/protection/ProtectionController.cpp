#include "service/protection/ProtectionController.h"

#include <windows.h>

#include <utility>

#include "nut/NutClient.h"
#include "service/EventLogWriter.h"
#include "service/notify/EventCommand.h"
#include "service/protection/ShutdownApi.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

std::string Describe(DWORD error) { return error == ERROR_SUCCESS ? std::string() : win32::DescribeWin32Error(error); }

// Unless the settings say nobody is to be told.
void WarnSessions(ShutdownApi& api, SessionWarning const& warning, uint32_t seconds, NotifyMode notify) {
    if (notify == NotifyMode::Off) return;
    // However short the count-down, the box stays long enough to be read.
    DWORD const timeoutSeconds = seconds < 30 ? 30 : seconds;
    for (DWORD const session : api.UserSessions())
        api.SendSessionMessage(session, warning.title, warning.text, timeoutSeconds);
}

// Where Windows cannot hibernate, it shuts down instead; the policy's
// count-down and the status line follow what will really happen.
ProtectionSettings WhatWindowsCanDo(ProtectionSettings settings) {
    if (settings.action == ShutdownAction::Hibernate && !Seam<ShutdownApi>::Current().HibernateAllowed())
        settings.action = ShutdownAction::Shutdown;
    return settings;
}

uint32_t PollOf(std::optional<ServiceSettings> const& settings) {
    return settings ? settings->pollMs : kDefaultPollMs;
}

// Unusable settings tell nobody: that is not what anyone asked for.
EventSettings EventsOf(std::optional<ServiceSettings> const& settings) {
    return settings ? settings->events : EventSettings{NotifyMode::Critical, std::string()};
}

std::string UpsNameOf(std::optional<ServiceSettings> const& settings) {
    return settings && settings->source == SourceKind::Nut ? nut::FormatUpsAddress(settings->ups) : "simulation";
}

// MinGW's headers lack it.
DWORD const kShutdownIsScheduled = 1190;  // ERROR_SHUTDOWN_IS_SCHEDULED

// A shutdown already scheduled (an earlier instance's, or an early one of
// ours) is not a refusal; a critical one must not wait for a longer
// count-down than its own, so it takes the place of the other.
DWORD AskWindowsToShutDown(ShutdownApi& api, uint32_t seconds, bool critical) {
    DWORD error = api.InitiateShutdown(seconds, kShutdownFlags, kShutdownReason);
    if (error == kShutdownIsScheduled && critical && api.AbortShutdown() == ERROR_SUCCESS)
        error = api.InitiateShutdown(seconds, kShutdownFlags, kShutdownReason);
    return error == kShutdownIsScheduled ? ERROR_SUCCESS : error;
}

}  // namespace

ProtectionSettings ProtectionFor(std::optional<ServiceSettings> const& settings) {
    if (!settings || settings->source != SourceKind::Nut) return ProtectionSettings();
    return settings->protection;
}

ProtectionController::ProtectionController(std::optional<ServiceSettings> const& settings, LinePublisher publishLine)
    : policy_(WhatWindowsCanDo(ProtectionFor(settings)), PollOf(settings)),
      events_(EventsOf(settings)),
      upsName_(UpsNameOf(settings)),
      publishLine_(publishLine) {
    Publish();
}

void ProtectionController::TakeSettings(std::optional<ServiceSettings> const& settings) {
    std::lock_guard<std::mutex> lock(settingsLock_);
    newSettings_ = Pending{ProtectionFor(settings), PollOf(settings), EventsOf(settings), UpsNameOf(settings)};
}

void ProtectionController::OnReading(SourceReading const& reading) {
    {
        std::lock_guard<std::mutex> lock(settingsLock_);
        if (newSettings_) {
            policy_.SetSettings(WhatWindowsCanDo(newSettings_->protection), newSettings_->pollMs);
            events_ = newSettings_->events;
            upsName_ = newSettings_->upsName;
        }
        newSettings_.reset();
    }
    ProtectionStep const step = policy_.Observe(reading, ::GetTickCount64());
    Report(step.events);
    if (step.action == ProtectionAction::Initiate) {
        Report(policy_.Initiated(Initiate(step)));
        // Nothing to count down: the hibernation is now.
        if (policy_.Hibernating() && step.delaySeconds == 0) Hibernate();
    }
    if (step.action == ProtectionAction::Hibernate) Hibernate();
    if (step.action == ProtectionAction::Cancel) Cancel(step.reason);
    TellPeople();
    Publish();
}

// The Event Log, the event command, and the recent events.
void ProtectionController::Report(std::vector<ProtectionEvent> const& events) {
    for (ProtectionEvent const& event : events) {
        ReportServiceEvent(event.event, event.detail);
        reported_.push_back(event.event);
        std::optional<NotifyType> const type = NotifyTypeOf(event.event);
        if (type && !events_.command.empty())
            StartEventCommand(events_.command, *type, upsName_, EventText(event.event, event.detail));
    }
}

// With notify "all", the people logged on hear of the reading's events;
// the notices keep time even when there are none.
void ProtectionController::TellPeople() {
    std::vector<ServiceEvent> const tell = notices_.Take(reported_, ::GetTickCount64());
    reported_.clear();
    if (events_.notify != NotifyMode::All) return;
    ShutdownApi& api = Seam<ShutdownApi>::Current();
    for (ServiceEvent const event : tell) {
        SessionWarning const notice = NoticeFor(api.UiLanguage(), event);
        for (DWORD const session : api.UserSessions())
            api.SendSessionMessage(session, notice.title, notice.text, kNoticeSeconds);
    }
}

void ProtectionController::OnResumed() {
    policy_.Resumed(::GetTickCount64());
    Publish();
}

void ProtectionController::OnServiceStopping(bool windowsShuttingDown) {
    if (policy_.CallOffOnStop(windowsShuttingDown)) Cancel("service stopped");
    Publish();
}

// Empty when Windows took it, else why not. The people logged on are warned
// once Windows has taken it, so the warning is never a false alarm; a
// hibernation is only counted down here, and warned of at once.
std::string ProtectionController::Initiate(ProtectionStep const& step) {
    ShutdownApi& api = Seam<ShutdownApi>::Current();
    bool const critical = step.urgency == ShutdownUrgency::Critical;
    bool const hibernate = policy_.Hibernating();
    DWORD const error = hibernate ? ERROR_SUCCESS : AskWindowsToShutDown(api, step.delaySeconds, critical);
    if (error == ERROR_SUCCESS)
        WarnSessions(api, ShutdownWarning(api.UiLanguage(), critical, hibernate, step.delaySeconds), step.delaySeconds,
                     events_.notify);
    return Describe(error);
}

// Hibernation that fails falls back to a shutdown at once, warned once:
// retrying it would leave the PC running until the battery is flat.
void ProtectionController::Hibernate() {
    ShutdownApi& api = Seam<ShutdownApi>::Current();
    DWORD const error = api.Hibernate();
    if (error == ERROR_SUCCESS) {
        policy_.Resumed(::GetTickCount64());  // back from it
        return;
    }
    uint32_t const seconds = policy_.Settings().finalDelaySeconds;
    DWORD const refused = AskWindowsToShutDown(api, seconds, true);
    if (refused == ERROR_SUCCESS) WarnSessions(api, ShutdownWarning(api.UiLanguage(), true, false, seconds), seconds, events_.notify);
    Report(policy_.HibernationFailed(Describe(error), Describe(refused)));
}

void ProtectionController::Cancel(std::string const& reason) {
    DWORD const error = Seam<ShutdownApi>::Current().AbortShutdown();
    ReportServiceEvent(ServiceEvent::ShutdownCancelled,
                       error == ERROR_SUCCESS ? reason : reason + "; " + win32::DescribeWin32Error(error));
}

void ProtectionController::Publish() {
    ProtectionSummary const summary = policy_.Summary();
    shown_.state = summary.state;
    shown_.detail = summary.detail;
    // Turned into the wall clock once, so the time shown does not wander.
    if (summary.dueMs != shownDueMs_) {
        shownDueMs_ = summary.dueMs;
        int64_t const fromNowMs = static_cast<int64_t>(summary.dueMs) - static_cast<int64_t>(::GetTickCount64());
        shown_.dueUtc = summary.dueMs == 0 ? 0 : UtcNow() + static_cast<uint64_t>(fromNowMs * 10000);
    }
    std::string line = policy_.StatusLine();
    if (line == publishedLine_) return;
    publishLine_(line);
    publishedLine_ = std::move(line);
}

}  // namespace vandrel
