// The UPS as a NUT server reports it.
#pragma once

#include "nut/NutMonitor.h"
#include "service/feed/UpsSource.h"

namespace vandrel {

// A NUT monitor's POLLFREQALERT: how often it asks at the most while the
// UPS is not plainly on line.
DWORD const kAlertPollMs = 5000;

// Reads a UPS from a NUT server through one persistent session, logged in
// as a secondary when given a user.
class NutUpsSource final : public UpsSource {
public:
    NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, nut::TlsPolicy const& tls,
                 nut::Credentials credentials = nut::Credentials());
    // Logs in as nobody and says in every reading that the login was
    // refused for `problem` (a stored password that cannot be read).
    NutUpsSource(nut::UpsAddress const& ups, DWORD pollMs, nut::TlsPolicy const& tls, std::string problem);
    SourceReading Next(HANDLE stop) override;
    // Sooner than the poll when a WAIT is about to count as no connection,
    // and at most kAlertPollMs while the UPS is on battery or critical.
    DWORD IntervalMs() const override {
        return static_cast<DWORD>(monitor_.NextPollInMs(alert_ && pollMs_ > kAlertPollMs ? kAlertPollMs : pollMs_));
    }
    void NotifyResumed() override { monitor_.NotifyResumed(); }

private:
    nut::NutMonitor monitor_;
    DWORD pollMs_;
    bool alert_ = false;  // the last reading was on battery, low or forced
    std::string loginProblem_;
};

}  // namespace vandrel
