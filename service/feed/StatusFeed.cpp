#include "service/feed/StatusFeed.h"

#include <system_error>
#include <utility>

namespace vandrel {

StatusSnapshot WordsFor(SourceReading const& reading, uint32_t writeCount) {
    StatusSnapshot words;
    words.word0 = writeCount;
    words.statusWord = reading.statusWord != 0 ? reading.statusWord : kWordNoConnection;
    words.word2 = reading.charge >= 0 ? static_cast<uint32_t>(reading.charge) : 0;  // 0: unknown
    return words;
}

ReadingRecord RecordFor(SourceReading const& reading, ProtectionShown const& protection, uint64_t readAtUtc) {
    ReadingRecord record;
    record.readAtUtc = readAtUtc;
    auto const flag = [&record](bool set, ReadingFlag which) {
        if (set) record.flags |= which;
    };
    flag(reading.answered, kReadingAnswered);
    flag(reading.charge >= 0, kReadingHasCharge);
    flag(reading.runtimeSeconds >= 0, kReadingHasRuntime);
    flag(reading.loadPercent >= 0, kReadingHasLoad);
    flag(reading.inputVoltageTenths >= 0, kReadingHasInputVoltage);
    flag(reading.outputVoltageTenths >= 0, kReadingHasOutputVoltage);
    flag(reading.link.encrypted, kReadingEncrypted);
    flag(reading.link.verified, kReadingVerified);
    flag(reading.login == LoginState::LoggedIn, kReadingLoggedIn);
    auto const present = [](int value) { return value >= 0 ? static_cast<uint32_t>(value) : 0; };
    record.charge = present(reading.charge);
    record.runtimeSeconds = present(reading.runtimeSeconds);
    record.load = present(reading.loadPercent);
    record.inputDeciVolts = present(reading.inputVoltageTenths);
    record.outputDeciVolts = present(reading.outputVoltageTenths);
    record.status = reading.upsStatus;
    record.manufacturer = reading.maker;
    record.model = reading.model;
    record.server = reading.server;
    record.protectionState = protection.state;
    record.protectionDueUtc = protection.dueUtc;
    record.protectionDetail = protection.detail;
    return record;
}

uint64_t UtcNow() {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

StatusFeed::StatusFeed(std::unique_ptr<UpsSource> source, FeedObserver* observer)
    : source_(std::move(source)), observer_(observer) {}

status_block::CreateError StatusFeed::Start() {
    Close();
    if (!source_) return {ERROR_INVALID_STATE, "the UPS source"};
    quit_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    wake_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    done_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!quit_ || !wake_ || !done_) return {::GetLastError(), "the worker's events"};
    status_block::CreateError const error = publisher_.Reserve(kStatusBlockWithRecordSize);
    if (error.failed()) return error;
    try {
        worker_ = std::thread(&StatusFeed::Run, this);
    } catch (std::system_error const&) {
        publisher_.Close();
        return {ERROR_NOT_ENOUGH_MEMORY, "the worker thread"};
    }
    return {};
}

void StatusFeed::ReplaceSource(std::unique_ptr<UpsSource> source) {
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        pending_ = std::move(source);
    }
    if (wake_) ::SetEvent(wake_.get());
}

void StatusFeed::NotifyResumed() {
    resumed_ = true;
    if (wake_) ::SetEvent(wake_.get());
}

void StatusFeed::Run() {
    HANDLE const waits[] = {quit_.get(), wake_.get()};
    for (;;) {
        {
            std::unique_ptr<UpsSource> replacement;
            {
                std::lock_guard<std::mutex> lock(pendingLock_);
                replacement = std::move(pending_);
            }
            // The old source goes here, on this thread: a NUT session says
            // LOGOUT as it closes.
            if (replacement) source_ = std::move(replacement);
        }
        if (resumed_.exchange(false)) {
            source_->NotifyResumed();
            if (observer_ != nullptr) observer_->OnResumed();
        }
        SourceReading const reading = source_->Next(quit_.get());
        if (::WaitForSingleObject(quit_.get(), 0) == WAIT_OBJECT_0) break;  // cut short: not a reading
        Publish(reading);
        DWORD const woke = ::WaitForMultipleObjects(2, waits, FALSE, source_->IntervalMs());
        if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) break;
    }
    source_.reset();
    ::SetEvent(done_.get());
}

void StatusFeed::Publish(SourceReading const& reading) {
    ReadingRecord const record =
        RecordFor(reading, observer_ != nullptr ? observer_->Protection() : ProtectionShown(), UtcNow());
    if (publisher_.Write(WordsFor(reading, writes_ + 1), &record, kWriteTimeoutMs)) {
        ++writes_;
    } else {
        ++failedWrites_;
        if (observer_ != nullptr) observer_->OnWriteFailed(failedWrites_);
    }
    if (observer_ != nullptr) observer_->OnReading(reading);
}

void StatusFeed::RequestStop() {
    if (quit_) ::SetEvent(quit_.get());
}

bool StatusFeed::WaitStopped(DWORD ms) {
    if (!worker_.joinable()) return true;
    return ::WaitForSingleObject(done_.get(), ms) == WAIT_OBJECT_0;
}

void StatusFeed::StopWriting() {
    if (worker_.joinable()) {
        RequestStop();
        worker_.join();
    }
}

void StatusFeed::Close() {
    StopWriting();
    publisher_.Close();
}

}  // namespace vandrel
