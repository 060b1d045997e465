// A Service Control Manager that answers from a script and writes down
// every call, so the ways the programs drive the service can be checked
// call by call.
#pragma once

#include <windows.h>
#include <winsvc.h>

#include <deque>
#include <string>
#include <vector>

#include "win32/ServiceControl.h"

namespace commands_test {

// One answer to QueryServiceStatus.
struct QueryAnswer {
    bool succeeds;
    DWORD state;  // written into the record even on failure, as junk would be
    DWORD checkPoint = 0;
    DWORD waitHintMs = 0;
};

inline QueryAnswer State(DWORD state, DWORD checkPoint = 0, DWORD waitHintMs = 0) {
    return {true, state, checkPoint, waitHintMs};
}
inline QueryAnswer QueryFails() { return {false, SERVICE_START_PENDING}; }

class ScriptedScm : public ServiceControlApi {
public:
    // What the manager does; all succeed unless a test says otherwise.
    bool managerOpens = true;
    bool serviceOpens = true;
    bool startSucceeds = true;
    bool controlSucceeds = true;
    DWORD stateFromControl = SERVICE_STOP_PENDING;
    DWORD failureError = ERROR_ACCESS_DENIED;  // GetLastError after any failed call
    std::deque<QueryAnswer> queries;                   // answered in order...
    QueryAnswer whenScriptEnds = State(SERVICE_RUNNING);  // ...then this for ever

    // What was asked.
    std::vector<std::string> calls;  // "open manager", "query", "sleep", ...
    DWORD managerAccess = 0;
    std::string serviceName;
    DWORD serviceAccess = 0;
    DWORD totalSleepMs = 0;

    static SC_HANDLE ManagerHandle() { return reinterpret_cast<SC_HANDLE>(0x1100); }
    static SC_HANDLE ServiceHandle() { return reinterpret_cast<SC_HANDLE>(0x2200); }

    int Count(std::string const& call) const { return CountAfter("", call); }

    // Calls after the first `call` (exclusive; "" for all) that equal `what`.
    int CountAfter(std::string const& call, std::string const& what) const {
        int n = 0;
        bool seen = call.empty();
        for (std::string const& c : calls) {
            if (seen && c == what) ++n;
            seen = seen || c == call;
        }
        return n;
    }

    SC_HANDLE OpenSCManager(LPCSTR machine, LPCSTR database, DWORD access) override {
        calls.push_back(machine == nullptr && database == nullptr ? "open manager" : "open remote manager");
        managerAccess = access;
        return Succeeds(managerOpens) ? ManagerHandle() : nullptr;
    }
    SC_HANDLE OpenService(SC_HANDLE manager, LPCSTR name, DWORD access) override {
        calls.push_back(manager == ManagerHandle() ? "open service" : "open service on a bad manager");
        serviceName = name != nullptr ? name : "";
        serviceAccess = access;
        return Succeeds(serviceOpens) ? ServiceHandle() : nullptr;
    }
    BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status) override {
        calls.push_back(service == ServiceHandle() ? "query" : "query on a bad handle");
        QueryAnswer answer = whenScriptEnds;
        if (!queries.empty()) {
            answer = queries.front();
            queries.pop_front();
        }
        status->dwCurrentState = answer.state;
        status->dwCheckPoint = answer.checkPoint;
        status->dwWaitHint = answer.waitHintMs;
        return Succeeds(answer.succeeds);
    }
    BOOL StartService(SC_HANDLE service, DWORD argc, LPCSTR* argv) override {
        calls.push_back(service == ServiceHandle() && argc == 0 && argv == nullptr ? "start"
                                                                                   : "start with arguments");
        return Succeeds(startSucceeds);
    }
    BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) override {
        calls.push_back(service == ServiceHandle() && control == SERVICE_CONTROL_STOP ? "stop"
                                                                                      : "other control");
        status->dwCurrentState = stateFromControl;
        return Succeeds(controlSucceeds);
    }
    // Registering is left to the real manager's tests: these only say they were asked.
    SC_HANDLE CreateService(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, DWORD*, LPCSTR,
                            LPCSTR, LPCSTR) override {
        calls.push_back("create service");
        return ServiceHandle();
    }
    BOOL ChangeServiceConfig(SC_HANDLE, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, DWORD*, LPCSTR, LPCSTR, LPCSTR,
                             LPCSTR) override {
        calls.push_back("change config");
        return TRUE;
    }
    BOOL DeleteService(SC_HANDLE) override {
        calls.push_back("delete service");
        return TRUE;
    }
    BOOL CloseServiceHandle(SC_HANDLE handle) override {
        calls.push_back(handle == ManagerHandle()   ? "close manager"
                        : handle == ServiceHandle() ? "close service"
                                                    : "close stray");
        return TRUE;
    }
    void Sleep(DWORD milliseconds) override {
        calls.push_back("sleep");
        totalSleepMs += milliseconds;
    }

private:
    BOOL Succeeds(bool succeeds) const {
        if (!succeeds) ::SetLastError(failureError);
        return succeeds ? TRUE : FALSE;
    }
};

// Puts a scripted manager in place of the real one for a test's duration.
using ScmSwap = ScopedSeam<ServiceControlApi>;

}  // namespace commands_test
