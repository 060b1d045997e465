#include "companions/dellomark/ConnectionTest.h"

#include <mutex>
#include <utility>

namespace dellomark {

// What the worker and the window share; the worker keeps it alive for as
// long as it runs, whatever happened to the window.
struct ConnectionTest::Shared {
    Query query;
    nut::UpsAddress address;
    unsigned timeoutMs = 0;

    std::mutex lock;
    HWND target = nullptr;  // null once the window gave up on the answer
    UINT message = 0;
    std::optional<nut::UpsReading> reading;
    bool finished = false;  // the reading is in; the thread may still be ending
};

ConnectionTest::ConnectionTest(Query query) : query_(std::move(query)) {}

ConnectionTest::~ConnectionTest() { Abandon(kAbandonWaitMs); }

bool ConnectionTest::Running() const {
    if (!shared_) return false;
    std::lock_guard<std::mutex> guard(shared_->lock);
    return !shared_->finished;
}

bool ConnectionTest::Start(HWND target, UINT message, nut::UpsAddress const& address, unsigned timeoutMs) {
    if (Running()) return false;
    auto shared = std::make_shared<Shared>();
    shared->query = query_;
    shared->address = address;
    shared->timeoutMs = timeoutMs;
    shared->target = target;
    shared->message = message;

    // The thread owns one reference, handed over through the heap.
    auto* handOver = new std::shared_ptr<Shared>(shared);
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, &ConnectionTest::Run, handOver, 0, nullptr));
    if (!thread) {
        delete handOver;
        return false;
    }
    shared_ = std::move(shared);
    thread_ = std::move(thread);
    return true;
}

std::optional<nut::UpsReading> ConnectionTest::Take() {
    if (!shared_) return std::nullopt;
    std::lock_guard<std::mutex> guard(shared_->lock);
    std::optional<nut::UpsReading> reading = std::move(shared_->reading);
    shared_->reading.reset();
    return reading;
}

void ConnectionTest::Abandon(DWORD waitMs) {
    if (shared_) {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->target = nullptr;
    }
    if (thread_) ::WaitForSingleObject(thread_.get(), waitMs);
    thread_.reset();
    shared_.reset();
}

DWORD WINAPI ConnectionTest::Run(void* parameter) {
    std::shared_ptr<Shared> shared = std::move(*static_cast<std::shared_ptr<Shared>*>(parameter));
    delete static_cast<std::shared_ptr<Shared>*>(parameter);

    nut::UpsReading reading;
    try {
        reading = shared->query(shared->address, shared->timeoutMs);
    } catch (...) {
        reading = nut::UpsReading{};
        reading.failure = "internal error";
    }
    std::lock_guard<std::mutex> guard(shared->lock);
    shared->reading = std::move(reading);
    shared->finished = true;
    // Under the lock, so Abandon cannot return between the check and the post.
    if (shared->target != nullptr) ::PostMessageA(shared->target, shared->message, 0, 0);
    return 0;
}

}  // namespace dellomark
