// The event command: a program the service starts for each of the UPS's
// events as NUT's upsmon starts its NOTIFYCMD, so scripts written for it
// work unchanged: the event's message as the last argument, NOTIFYTYPE and
// UPSNAME in the environment. It never holds the service up: it is started
// and left to run, ended if it still runs after kEventCommandLimitMs; a
// program that cannot start, fails or has to be ended is an Event Log entry.
#pragma once

#include <string>
#include <vector>

#include "service/notify/PowerNotices.h"

namespace vandrel {

unsigned long const kEventCommandLimitMs = 60000;

// What CreateProcessW is given: the program to run (cmd.exe for a .cmd or
// .bat), its command line and its environment block's entries.
struct EventLaunch {
    std::wstring application;
    std::wstring commandLine;
    std::vector<std::wstring> environment;
};

// `inherited` is the service's own environment, one "NAME=value" each;
// `cmdExe` where cmd.exe is.
EventLaunch PlanEventCommand(std::wstring const& program, NotifyType type, std::wstring const& upsName,
                             std::wstring const& message, std::vector<std::wstring> const& inherited,
                             std::wstring const& cmdExe);

// Starts the command and returns at once; a thread of its own waits for it.
void StartEventCommand(std::string const& program, NotifyType type, std::string const& upsName,
                       std::wstring const& message);

}  // namespace vandrel
