#include "companions/vandrel-service/ServiceHost.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "companions/common/Arguments.h"
#include "common/UniqueHandle.h"
#include "companions/vandrel-service/Simulation.h"

namespace vandrel {
namespace {


DWORD const kPendingStepMs = 500;   // a new checkpoint at least this often
DWORD const kPendingWaitHintMs = 3000;

class ServiceHost {
public:
    explicit ServiceHost(ServiceOptions const& options) : options_(options) {}

    int Dispatch() {
        stopRequested_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!stopRequested_) {
            std::fprintf(stderr, "VandrelService: %s\n", companions::DescribeWin32Error(::GetLastError()).c_str());
            return kExitFailed;
        }
        instance_ = this;
        std::string name = kServiceName;  // the table wants a writable string
        SERVICE_TABLE_ENTRYA const table[] = {{&name[0], &ServiceHost::ServiceMain}, {nullptr, nullptr}};
        BOOL const dispatched = ::StartServiceCtrlDispatcherA(table);
        DWORD const error = ::GetLastError();
        instance_ = nullptr;
        if (dispatched) return kExitOk;
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            std::fprintf(stderr,
                         "VandrelService: not started by the Service Control Manager.\n"
                         "Use \"VandrelService install [options]\" and start the service, or\n"
                         "\"VandrelService console [options]\" to run the simulation here.\n");
        } else {
            std::fprintf(stderr, "VandrelService: cannot connect to the Service Control Manager: %s\n",
                         companions::DescribeWin32Error(error).c_str());
        }
        return kExitFailed;
    }

private:
    static void WINAPI ServiceMain(DWORD, LPSTR*) { instance_->Run(); }

    static DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID context) {
        return static_cast<ServiceHost*>(context)->Control(control);
    }

    // Runs on the dispatcher thread and must return at once: the caller of
    // ControlService waits for it. The slow part of stopping is Run's.
    DWORD Control(DWORD control) {
        switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            if (CurrentState() == SERVICE_RUNNING) Report(SERVICE_STOP_PENDING);
            ::SetEvent(stopRequested_.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
        }
    }

    void Run() {
        statusHandle_ = ::RegisterServiceCtrlHandlerExA(kServiceName, &ServiceHost::OnControl, this);
        if (statusHandle_ == nullptr) return;
        Report(SERVICE_START_PENDING);
        StayPending(SERVICE_START_PENDING, options_.startDelayMs);

        Simulation simulation(MakeSource(options_));
        status_block::CreateError const error = simulation.Start();
        if (error.failed()) {
            Report(SERVICE_STOPPED, error.code);
            return;
        }
        Report(SERVICE_RUNNING);
        ::WaitForSingleObject(stopRequested_.get(), INFINITE);

        Report(SERVICE_STOP_PENDING);
        simulation.StopWriting();
        StayPending(SERVICE_STOP_PENDING, options_.stopDelayMs);
        // Closing the block is what tells the agent the service is gone.
        simulation.Close();
        Report(SERVICE_STOPPED);
    }

    // Spends `ms` in a pending state, with a rising checkpoint every step so
    // the Service Control Manager sees progress.
    void StayPending(DWORD state, DWORD ms) {
        ULONGLONG const end = ::GetTickCount64() + ms;
        for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
            ULONGLONG const left = end - now;
            ::Sleep(left < kPendingStepMs ? static_cast<DWORD>(left) : kPendingStepMs);
            Report(state);
        }
    }

    DWORD CurrentState() {
        std::lock_guard<std::mutex> lock(statusLock_);
        return status_.dwCurrentState;
    }

    // The handler and Run both report, from different threads.
    void Report(DWORD state, DWORD exitCode = NO_ERROR) {
        std::lock_guard<std::mutex> lock(statusLock_);
        bool const pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
        status_.dwCheckPoint = !pending ? 0 : (status_.dwCurrentState == state ? status_.dwCheckPoint + 1 : 1);
        status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status_.dwCurrentState = state;
        status_.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status_.dwWin32ExitCode = exitCode;
        status_.dwServiceSpecificExitCode = 0;
        status_.dwWaitHint = pending ? kPendingWaitHintMs : 0;
        ::SetServiceStatus(statusHandle_, &status_);
    }

    static ServiceHost* instance_;

    ServiceOptions options_;
    UniqueKernelHandle stopRequested_;
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;  // not closed: the system owns it
    std::mutex statusLock_;
    SERVICE_STATUS status_{};
};

ServiceHost* ServiceHost::instance_ = nullptr;

UniqueKernelHandle g_consoleStop;

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(g_consoleStop.get());
    return TRUE;
}

}  // namespace

int RunAsService(ServiceOptions const& options) {
    ServiceHost host(options);
    return host.Dispatch();
}

int RunInConsole(ServiceOptions const& options) {
    g_consoleStop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Simulation simulation(MakeSource(options));
    status_block::CreateError const error = g_consoleStop ? simulation.Start()
                                                          : status_block::CreateError{::GetLastError(), "an event"};
    if (error.failed()) {
        std::fprintf(stderr, "VandrelService: %s\n", error.Describe().c_str());
        return kExitFailed;
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::printf("simulating %s; Ctrl+C stops\n", FormatServiceArguments(options).c_str());
    std::fflush(stdout);
    ::WaitForSingleObject(g_consoleStop.get(), INFINITE);
    simulation.Close();
    return kExitOk;
}

}  // namespace vandrel
