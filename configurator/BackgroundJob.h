// One job at a time on a thread of its own, so the dialog keeps answering
// while a server or the Service Control Manager takes its time. The job
// posts a message to the window when it ends; the window then takes the
// result. A window that goes first abandons the job: nothing more is posted,
// and the job ends on its own, holding nothing of the window's.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#include "win32/UniqueHandle.h"

namespace dellomark {

template <typename Result>
class BackgroundJob {
public:
    BackgroundJob() = default;
    ~BackgroundJob() { Abandon(kAbandonWaitMs); }
    BackgroundJob(BackgroundJob const&) = delete;
    BackgroundJob& operator=(BackgroundJob const&) = delete;

    // A job that outlives its window is waited for this long, then left.
    static DWORD const kAbandonWaitMs = 1000;

    // Runs `job` unless one runs; `message` goes to `target` when it ends.
    // A job that throws gives `onException`.
    bool Start(HWND target, UINT message, std::function<Result()> job, Result onException) {
        if (Running()) return false;
        auto shared = std::make_shared<Shared>();
        if (!shared->done) return false;
        shared->target = target;
        shared->message = message;
        try {
            // The thread holds its own reference to what it shares.
            std::thread([shared, job = std::move(job), onException = std::move(onException)]() mutable {
                Result result = std::move(onException);
                try {
                    result = job();
                } catch (...) {
                }
                std::lock_guard<std::mutex> guard(shared->lock);
                shared->result = std::move(result);
                shared->finished = true;
                // Under the lock, so Abandon cannot return between the check and the post.
                if (shared->target != nullptr) ::PostMessageA(shared->target, shared->message, 0, 0);
                ::SetEvent(shared->done.get());
            }).detach();
        } catch (std::system_error const&) {
            return false;
        }
        shared_ = std::move(shared);
        return true;
    }

    // True from Start until the result is in (the message may still be on
    // its way).
    bool Running() const {
        if (!shared_) return false;
        std::lock_guard<std::mutex> guard(shared_->lock);
        return !shared_->finished;
    }

    // The result of the job that ended, once; nothing while it runs.
    std::optional<Result> Take() {
        if (!shared_) return std::nullopt;
        std::lock_guard<std::mutex> guard(shared_->lock);
        std::optional<Result> result = std::move(shared_->result);
        shared_->result.reset();
        return result;
    }

    // Posts nothing more, then waits up to `waitMs` for the job. Call it
    // before the window goes.
    void Abandon(DWORD waitMs) {
        if (!shared_) return;
        {
            std::lock_guard<std::mutex> guard(shared_->lock);
            shared_->target = nullptr;
        }
        ::WaitForSingleObject(shared_->done.get(), waitMs);
        shared_.reset();
    }

private:
    struct Shared {
        std::mutex lock;
        HWND target = nullptr;  // null once the window gave up on the result
        UINT message = 0;
        std::optional<Result> result;
        bool finished = false;
        UniqueKernelHandle done{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    };

    std::shared_ptr<Shared> shared_;
};

}  // namespace dellomark
