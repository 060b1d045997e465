#include "service/ServiceHost.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "service/CommandLine.h"
#include "service/EventLogWriter.h"
#include "service/feed/SourceFor.h"
#include "service/feed/StatusFeed.h"
#include "service/protection/ProtectionController.h"
#include "service/settings/ServiceSettings.h"
#include "service/settings/SettingsWatch.h"
#include "service/settings/StoredPassword.h"
#include "service/StateKey.h"
#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace vandrel {
namespace {

DWORD const kPendingStepMs = 500;   // a new checkpoint at least this often
DWORD const kPendingWaitHintMs = 3000;

// The settings the service runs on: those in its key or, for a registration
// from an older version that has no key, the options in its binary path.
// Nothing when they cannot be used (a missing key, a bad value): the service
// then says it has no connection rather than guess, and never simulates
// unless told to. `why` then names the value and why, as status does.
std::optional<ServiceSettings> UsableSettings(std::vector<std::string> const& options, std::string& why) {
    ServiceSettings settings;
    SettingsRead const read = ReadServiceSettings(settings);
    why.clear();
    if (read.keyError == ERROR_FILE_NOT_FOUND && !options.empty()) {
        settings = ServiceSettings();
        why = ApplySettingsArguments(options, settings);
        if (!why.empty()) return std::nullopt;
        return settings;
    }
    // Not the default each bad value fell back to: the service uses none.
    for (UnusableValue const& value : read.unusable)
        why += (why.empty() ? "" : "; ") + DescribeUnusable(value);
    if (read.keyError == ERROR_FILE_NOT_FOUND)
        why = "there is no Parameters key";
    else if (read.keyError != ERROR_SUCCESS)
        why = "cannot read them: " + win32::DescribeWin32Error(read.keyError);
    if (!why.empty()) return std::nullopt;
    return settings;
}

// The record of a start, in the service and in the console alike.
void ReportStarted(std::optional<ServiceSettings> const& settings, std::string const& why) {
    ReportServiceEvent(ServiceEvent::Started, settings ? DescribeSettings(*settings) : "unusable settings");
    if (!settings) ReportServiceEvent(ServiceEvent::SettingsUnusable, why);
}

std::unique_ptr<UpsSource> SourceFor(std::optional<ServiceSettings> const& settings) {
    return settings ? MakeSource(*settings) : MakeUnusableSettingsSource();
}

// What the running service does with each reading besides publishing it.
class ServiceObserver final : public FeedObserver {
public:
    explicit ServiceObserver(ProtectionController& protection) : protection_(protection) {}
    void OnReading(SourceReading const& reading) override { protection_.OnReading(reading); }
    void OnWriteFailed(uint32_t failedWrites) override { WriteFailedWrites(failedWrites); }
    void OnResumed() override { protection_.OnResumed(); }
    ProtectionShown Protection() override { return protection_.Protection(); }

private:
    ProtectionController& protection_;
};

class ServiceHost {
public:
    explicit ServiceHost(std::vector<std::string> const& options) : options_(options) {}

    int Dispatch() {
        stopRequested_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!stopRequested_) {
            std::fprintf(stderr, "VandrelService: %s\n", win32::DescribeWin32Error(::GetLastError()).c_str());
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
                         "\"VandrelService console [options]\" to run it here.\n");
        } else {
            std::fprintf(stderr, "VandrelService: cannot connect to the Service Control Manager: %s\n",
                         win32::DescribeWin32Error(error).c_str());
        }
        return kExitFailed;
    }

private:
    // No exception may cross back into the Service Control Manager's
    // threads: that would terminate the process with no word of why. The
    // service says it stopped with an error instead.
    static void WINAPI ServiceMain(DWORD, LPSTR*) {
        try {
            instance_->Run();
        } catch (...) {
            ReportServiceEvent(ServiceEvent::Stopped, "after an unexpected error");
            instance_->Report(SERVICE_STOPPED, ERROR_EXCEPTION_IN_SERVICE);
        }
    }

    static DWORD WINAPI OnControl(DWORD control, DWORD eventType, LPVOID, LPVOID context) {
        try {
            return static_cast<ServiceHost*>(context)->Control(control, eventType);
        } catch (...) {
            return ERROR_EXCEPTION_IN_SERVICE;
        }
    }

    // Runs on the dispatcher thread and must return at once: the caller of
    // ControlService waits for it. The slow part of stopping is Run's.
    DWORD Control(DWORD control, DWORD eventType) {
        switch (control) {
        case SERVICE_CONTROL_SHUTDOWN:
            windowsShuttingDown_ = true;
            [[fallthrough]];
        case SERVICE_CONTROL_STOP:
            if (CurrentState() == SERVICE_RUNNING) Report(SERVICE_STOP_PENDING);
            ::SetEvent(stopRequested_.get());
            return NO_ERROR;
        case SERVICE_CONTROL_POWEREVENT:
            // After sleep a NUT connection is as good as dead: reconnect now
            // rather than after a time-out and a back-off.
            if (eventType == PBT_APMRESUMEAUTOMATIC || eventType == PBT_APMRESUMESUSPEND) {
                std::lock_guard<std::mutex> lock(feedLock_);
                if (feed_ != nullptr) feed_->NotifyResumed();
            }
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
        std::string why;
        std::optional<ServiceSettings> const settings = UsableSettings(options_, why);
        SimulationSettings const delays = settings ? settings->simulation : SimulationSettings();
        StayPending(SERVICE_START_PENDING, delays.startDelayMs);

        WriteFailedWrites(0);
        ProtectionController protection(settings, &WriteShutdownLine);
        ServiceObserver observer(protection);
        StatusFeed feed(SourceFor(settings), &observer);
        status_block::CreateError const error = feed.Start();
        if (error.failed()) {
            ReportServiceEvent(ServiceEvent::Stopped, error.Describe());
            Report(SERVICE_STOPPED, error.code);
            return;
        }
        SetFeed(&feed);
        Report(SERVICE_RUNNING);
        ReportStarted(settings, why);
        FollowSettings(feed, protection, settings, why);

        Report(SERVICE_STOP_PENDING);
        SetFeed(nullptr);
        feed.RequestStop();
        // A NUT round trip in progress ends at the stop event; checkpoints
        // show the wait is moving meanwhile.
        while (!feed.WaitStopped(kPendingStepMs)) Report(SERVICE_STOP_PENDING);
        feed.StopWriting();
        // Logged in until now, so the primary waited for this PC; a stop
        // that is not Windows' own shutdown takes an early one with it.
        protection.OnServiceStopping(windowsShuttingDown_);
        StayPending(SERVICE_STOP_PENDING, delays.stopDelayMs);
        // Closing the block is what tells the agent the service is gone.
        feed.Close();
        // Before the last report: the process may end right after it.
        ReportServiceEvent(ServiceEvent::Stopped);
        Report(SERVICE_STOPPED);
    }

    // Until stopped: hands the feed a new source, and the protection its
    // settings, whenever the settings in the key change, including to and
    // from settings it cannot use (recorded each time they become unusable
    // for another reason). The protection's login is the NUT source's too.
    // The watch waits for a writer to finish its values before this reads
    // them.
    void FollowSettings(StatusFeed& feed, ProtectionController& protection, std::optional<ServiceSettings> current,
                        std::string currentWhy) {
        SettingsWatch watch;
        watch.Open(kServiceKeyPath);  // without it the service still runs, on what it has
        unsigned long long password = PasswordStamp();
        for (;;) {
            if (!watch.WaitForChange(stopRequested_.get())) return;
            std::string why;
            std::optional<ServiceSettings> changed = UsableSettings(options_, why);
            if (!changed && (current || why != currentWhy)) ReportServiceEvent(ServiceEvent::SettingsUnusable, why);
            currentWhy = why;
            unsigned long long const newPassword = PasswordStamp();
            if (changed == current && newPassword == password) continue;
            password = newPassword;
            protection.TakeSettings(changed);
            feed.ReplaceSource(SourceFor(changed));
            // The delays are read when starting and stopping.
            current = std::move(changed);
        }
    }

    void SetFeed(StatusFeed* feed) {
        std::lock_guard<std::mutex> lock(feedLock_);
        feed_ = feed;
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
        status_.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT : 0;
        status_.dwWin32ExitCode = exitCode;
        status_.dwServiceSpecificExitCode = 0;
        status_.dwWaitHint = pending ? kPendingWaitHintMs : 0;
        ::SetServiceStatus(statusHandle_, &status_);
    }

    static ServiceHost* instance_;

    std::vector<std::string> options_;
    UniqueKernelHandle stopRequested_;
    SERVICE_STATUS_HANDLE statusHandle_ = nullptr;  // not closed: the system owns it
    std::mutex statusLock_;
    SERVICE_STATUS status_{};
    std::mutex feedLock_;
    StatusFeed* feed_ = nullptr;
    std::atomic<bool> windowsShuttingDown_{false};
};

ServiceHost* ServiceHost::instance_ = nullptr;

UniqueKernelHandle g_consoleStop;

// The console has no State key of its own: its shutdown line goes to the
// person watching.
void PrintShutdownLine(std::string const& line) {
    std::printf("shutdown: %s\n", line.c_str());
    std::fflush(stdout);
}

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(g_consoleStop.get());
    return TRUE;
}

}  // namespace

int RunAsService(std::vector<std::string> const& options) {
    ServiceHost host(options);
    return host.Dispatch();
}

int RunInConsole(std::vector<std::string> const& options) {
    std::optional<ServiceSettings> settings;
    std::string why;
    if (options.empty()) {
        // The service's own settings, taken as the service takes them.
        settings = UsableSettings(options, why);
    } else {
        ServiceSettings given;
        std::string const bad = ApplySettingsArguments(options, given);
        if (!bad.empty()) {
            std::fprintf(stderr, "VandrelService: %s\n", bad.c_str());
            return kExitUsage;
        }
        settings = given;
    }
    g_consoleStop.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    // Protects the PC as the service would: console mode is for trying out
    // what the service will do.
    ProtectionController protection(settings, &PrintShutdownLine);
    StatusFeed feed(SourceFor(settings), &protection);
    status_block::CreateError const error = g_consoleStop ? feed.Start()
                                                          : status_block::CreateError{::GetLastError(), "an event"};
    if (error.failed()) {
        std::fprintf(stderr, "VandrelService: %s\n", error.Describe().c_str());
        return kExitFailed;
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    std::printf("publishing from %s; Ctrl+C stops\n",
                settings ? DescribeSettings(*settings).c_str() : ("unusable settings: " + why).c_str());
    std::fflush(stdout);
    ReportStarted(settings, why);
    ::WaitForSingleObject(g_consoleStop.get(), INFINITE);
    feed.StopWriting();
    protection.OnServiceStopping(false);
    feed.Close();
    ReportServiceEvent(ServiceEvent::Stopped);
    return kExitOk;
}

}  // namespace vandrel
