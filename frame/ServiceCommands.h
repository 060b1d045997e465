// The Agent Start and Agent Stop sequences against the Service Control
// Manager, apart from the window, so tests can script what the manager
// answers and count what is opened and closed.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include <optional>

#include "win32/ServiceControl.h"

DWORD const kAgentStartAccess = SERVICE_QUERY_STATUS | SERVICE_START;
DWORD const kAgentStopAccess = SERVICE_QUERY_STATUS | SERVICE_STOP;

DWORD const kServicePollIntervalMs = 500;

// A service that stays pending longer than 30 s is one the Service Control
// Manager itself gives up on (its default start and stop time-out), and the
// tray is frozen while we wait: the settle loop and the start-pending wait
// each give up after this many polls. Leaving early costs nothing, as the
// next status poll corrects the menu anyway.
int const kMaxPendingPolls = 60;

// After a stop request the service gets this many polls to reach STOPPED.
int const kMaxStopPolls = 6;

// The tray counts polls only: no stall rule.
PollRule const kAgentPendingPolls{kServicePollIntervalMs, kMaxPendingPolls * kServicePollIntervalMs, 0};
PollRule const kAgentStopPolls{kServicePollIntervalMs, kMaxStopPolls * kServicePollIntervalMs, 0};

// One command as data: the access it asks for, its action, how long it then
// waits and for what, and the value agentRunning takes afterwards.
struct ServiceCommand {
    DWORD serviceAccess;
    BOOL (*act)(ServiceControlApi& scm, SC_HANDLE service, SERVICE_STATUS& status);
    PollRule wait;
    bool (*keepWaiting)(DWORD state);
    int runningAfter;
};

extern ServiceCommand const kAgentStart;  // StartService, then wait out START_PENDING
extern ServiceCommand const kAgentStop;   // stop control, then up to six polls for STOPPED

// Runs the whole command: open the manager and the service, let a pending
// state settle, act, wait, close the service and then the manager. Returns
// the value agentRunning takes afterwards (set whether or not the action
// succeeded), or nothing when the manager or the service could not be
// opened and everything stays as it was.
std::optional<int> RunServiceCommand(ServiceControlApi& scm, ServiceCommand const& command);

inline std::optional<int> RunAgentStart(ServiceControlApi& scm) { return RunServiceCommand(scm, kAgentStart); }
inline std::optional<int> RunAgentStop(ServiceControlApi& scm) { return RunServiceCommand(scm, kAgentStop); }
