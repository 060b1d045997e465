#include "companions/vandrel-service/Simulation.h"

#include <system_error>
#include <utility>

namespace vandrel {

Simulation::Simulation(std::unique_ptr<UpsSource> source) : source_(std::move(source)) {}

status_block::CreateError Simulation::Start() {
    Close();
    quit_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!quit_) return {::GetLastError(), "the worker's quit event"};
    status_block::StatusPublisher::Options options;
    options.initial.statusWord = source_->NextStatusWord();
    options.initial.word0 = ++writes_;
    status_block::CreateError const error = publisher_.Create(options);
    if (error.failed()) return error;
    try {
        worker_ = std::thread(&Simulation::Run, this);
    } catch (std::system_error const&) {
        publisher_.Close();
        return {ERROR_NOT_ENOUGH_MEMORY, "the worker thread"};
    }
    return {};
}

void Simulation::Run() {
    // The first word went in with Create; each stands for the source's interval.
    while (::WaitForSingleObject(quit_.get(), source_->IntervalMs()) == WAIT_TIMEOUT) {
        StatusSnapshot words;
        words.statusWord = source_->NextStatusWord();
        words.word0 = ++writes_;
        publisher_.Write(words, kWriteTimeoutMs);
    }
}

void Simulation::StopWriting() {
    if (worker_.joinable()) {
        ::SetEvent(quit_.get());
        worker_.join();
    }
}

void Simulation::Close() {
    StopWriting();
    publisher_.Close();
}

}  // namespace vandrel
