#include "companions/dellomark/ServiceRestart.h"

#include <mutex>
#include <utility>

#include "common/ServiceControl.h"
#include "companions/common/Win32Error.h"

namespace dellomark {

namespace {

char const* StepName(ScmStep step) {
    switch (step) {
    case ScmStep::OpenManager: return "opening the Service Control Manager";
    case ScmStep::OpenService: return "opening the service";
    case ScmStep::Stop: return "stopping the service";
    case ScmStep::Start: return "starting the service";
    default: return "asking the service's state";
    }
}

RestartResult Failed(ScmResult const& result) {
    return {RestartOutcome::Failed, std::string(StepName(result.failed)) + ": " +
                                        companions::DescribeWin32Error(result.error)};
}

}  // namespace

bool ServiceInstalled(char const* serviceName) {
    OpenedService opened;
    ScmResult const result = OpenScmService(Seam<ServiceControlApi>::Current(), serviceName, SERVICE_QUERY_STATUS, opened);
    // Anything else, the restart says what is wrong.
    return result.failed != ScmStep::OpenService || result.error != ERROR_SERVICE_DOES_NOT_EXIST;
}

RestartResult RestartIfRunning(char const* serviceName) {
    ServiceControlApi& scm = Seam<ServiceControlApi>::Current();
    OpenedService opened;
    ScmResult const open = OpenScmService(scm, serviceName, SERVICE_QUERY_STATUS | SERVICE_STOP | SERVICE_START, opened);
    if (open.failed == ScmStep::OpenService && open.error == ERROR_SERVICE_DOES_NOT_EXIST)
        return {RestartOutcome::NotInstalled, {}};
    if (!open) return Failed(open);

    SERVICE_STATUS status = {};
    if (!scm.QueryServiceStatus(opened.service.get(), &status)) return Failed({ScmStep::Query, ::GetLastError(), 0});
    // Stopped, or on its way there at someone else's request: it reads the
    // settings when it next starts.
    if (status.dwCurrentState == SERVICE_STOPPED || status.dwCurrentState == SERVICE_STOP_PENDING)
        return {RestartOutcome::NotRunning, {}};
    ScmResult const restarted = RestartAndWait(scm, opened.service.get(), kServicePollRule);
    return restarted ? RestartResult{RestartOutcome::Restarted, {}} : Failed(restarted);
}

// What the worker and the window share; the worker keeps it alive for as
// long as it runs, whatever happened to the window.
struct ServiceRestart::Shared {
    std::string serviceName;
    std::mutex lock;
    HWND target = nullptr;  // null once the window gave up on the answer
    UINT message = 0;
    std::optional<RestartResult> result;
    bool finished = false;
};

ServiceRestart::~ServiceRestart() { Abandon(kAbandonWaitMs); }

bool ServiceRestart::Running() const {
    if (!shared_) return false;
    std::lock_guard<std::mutex> guard(shared_->lock);
    return !shared_->finished;
}

bool ServiceRestart::Start(HWND target, UINT message, char const* serviceName) {
    if (Running()) return false;
    auto shared = std::make_shared<Shared>();
    shared->serviceName = serviceName;
    shared->target = target;
    shared->message = message;
    // The thread owns one reference, handed over through the heap.
    auto* handOver = new std::shared_ptr<Shared>(shared);
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, &ServiceRestart::Run, handOver, 0, nullptr));
    if (!thread) {
        delete handOver;
        return false;
    }
    shared_ = std::move(shared);
    thread_ = std::move(thread);
    return true;
}

std::optional<RestartResult> ServiceRestart::Take() {
    if (!shared_) return std::nullopt;
    std::lock_guard<std::mutex> guard(shared_->lock);
    std::optional<RestartResult> result = std::move(shared_->result);
    shared_->result.reset();
    return result;
}

void ServiceRestart::Abandon(DWORD waitMs) {
    if (shared_) {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->target = nullptr;
    }
    if (thread_) ::WaitForSingleObject(thread_.get(), waitMs);
    thread_.reset();
    shared_.reset();
}

DWORD WINAPI ServiceRestart::Run(void* parameter) {
    std::shared_ptr<Shared> shared = std::move(*static_cast<std::shared_ptr<Shared>*>(parameter));
    delete static_cast<std::shared_ptr<Shared>*>(parameter);

    RestartResult result;
    try {
        result = RestartIfRunning(shared->serviceName.c_str());
    } catch (...) {
        result = {RestartOutcome::Failed, "internal error"};
    }
    std::lock_guard<std::mutex> guard(shared->lock);
    shared->result = std::move(result);
    shared->finished = true;
    // Under the lock, so Abandon cannot return between the check and the post.
    if (shared->target != nullptr) ::PostMessageA(shared->target, shared->message, 0, 0);
    return 0;
}

}  // namespace dellomark
