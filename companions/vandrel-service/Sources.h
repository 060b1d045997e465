// The source a set of settings asks for, and the NUT one.
#pragma once

#include <memory>

#include "companions/common/ServiceSettings.h"
#include "companions/nut/NutMonitor.h"
#include "companions/vandrel-service/UpsSource.h"

namespace vandrel {

// Reads a UPS from a NUT server through one persistent session. Its first
// reading is "no connection yet" and costs no network time, so starting the
// service never waits on the server; the first real poll follows at once.
class NutUpsSource final : public UpsSource {
public:
    NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs);
    SourceReading Next(HANDLE stop) override;
    DWORD IntervalMs() const override { return polled_ ? static_cast<DWORD>(monitor_.NextPollInMs(pollMs_)) : 0; }
    void NotifyResumed() override { monitor_.NotifyResumed(); }

private:
    nut::NutMonitor monitor_;
    DWORD pollMs_;
    bool polled_ = false;
};

// Settings that do not validate get a source that reports no connection.
std::unique_ptr<UpsSource> MakeSource(ServiceSettings const& settings);

}  // namespace vandrel
