#include "companions/vandrel-service/Installer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "companions/common/Arguments.h"
#include "common/UniqueHandle.h"
#include "companions/vandrel-service/ServiceHost.h"

namespace vandrel {
namespace {


char const kDescription[] = "Simulated UPS monitoring service: publishes the UPS status block.";
DWORD const kStopPollMs = 250;
// Give up on a pending service whose checkpoint has not moved for this long
// (or twice its wait hint, if that is longer).
DWORD const kNoProgressLimitMs = 5000;

int Fail(char const* what, DWORD error) {
    std::fprintf(stderr, "VandrelService: %s: %s\n", what, companions::DescribeWin32Error(error).c_str());
    return kExitFailed;
}

// Polls while the service is pending, as long as it makes progress. Says
// what went wrong and returns false when it can no longer be queried or stalls.
bool WaitWhilePending(SC_HANDLE service, SERVICE_STATUS& status) {
    DWORD lastCheckPoint = status.dwCheckPoint;
    ULONGLONG lastProgress = ::GetTickCount64();
    while (status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_STOP_PENDING) {
        ::Sleep(kStopPollMs);
        DWORD const previousState = status.dwCurrentState;
        if (!::QueryServiceStatus(service, &status)) {
            Fail("cannot query the service", ::GetLastError());
            return false;
        }
        ULONGLONG const now = ::GetTickCount64();
        if (status.dwCurrentState != previousState || status.dwCheckPoint != lastCheckPoint) {
            lastCheckPoint = status.dwCheckPoint;
            lastProgress = now;
        } else {
            DWORD const limit = status.dwWaitHint * 2 > kNoProgressLimitMs ? status.dwWaitHint * 2 : kNoProgressLimitMs;
            if (now - lastProgress > limit) {
                std::fprintf(stderr, "VandrelService: the service stays pending (state %lu) without progress\n",
                             static_cast<unsigned long>(status.dwCurrentState));
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int Install(ServiceOptions const& options) {
    char path[1024] = {};
    DWORD const length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return Fail("cannot get this program's path", ::GetLastError());

    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return Fail("cannot open the Service Control Manager", ::GetLastError());

    std::string const binaryPath = BuildBinaryPath(path, options);
    UniqueServiceHandle service(::CreateServiceA(manager.get(), kServiceName, kServiceName,
                                                 SERVICE_CHANGE_CONFIG | SERVICE_QUERY_STATUS,
                                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                 SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                                 nullptr, nullptr, nullptr));
    if (!service) {
        DWORD const error = ::GetLastError();
        if (error == ERROR_SERVICE_EXISTS) {
            std::fprintf(stderr, "VandrelService: the service \"%s\" already exists; run \"VandrelService uninstall\" first\n",
                         kServiceName);
            return kExitFailed;
        }
        return Fail("cannot create the service", error);
    }
    char description[sizeof kDescription];
    std::copy(kDescription, kDescription + sizeof kDescription, description);
    SERVICE_DESCRIPTIONA info{description};
    ::ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &info);  // cosmetic only

    std::printf("installed \"%s\": %s\n", kServiceName, binaryPath.c_str());
    return kExitOk;
}

int Uninstall() {
    UniqueServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return Fail("cannot open the Service Control Manager", ::GetLastError());
    UniqueServiceHandle service(
        ::OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS | SERVICE_STOP | DELETE));
    if (!service) {
        DWORD const error = ::GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            std::fprintf(stderr, "VandrelService: the service \"%s\" is not installed\n", kServiceName);
            return kExitFailed;
        }
        return Fail("cannot open the service", error);
    }

    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(service.get(), &status)) return Fail("cannot query the service", ::GetLastError());
    if (!WaitWhilePending(service.get(), status)) return kExitFailed;
    if (status.dwCurrentState != SERVICE_STOPPED) {
        if (!::ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
            return Fail("cannot stop the service", ::GetLastError());
        if (!WaitWhilePending(service.get(), status)) return kExitFailed;
        if (status.dwCurrentState != SERVICE_STOPPED) {
            std::fprintf(stderr, "VandrelService: the service did not stop (state %lu)\n",
                         static_cast<unsigned long>(status.dwCurrentState));
            return kExitFailed;
        }
    }
    if (!::DeleteService(service.get())) return Fail("cannot delete the service", ::GetLastError());
    std::printf("uninstalled \"%s\"\n", kServiceName);
    return kExitOk;
}

}  // namespace vandrel
