// Where the service gets its UPS state from: a simulation
// (SimulatedUpsSource.h) or a NUT server (NutUpsSource.h). The feed calls a source from its one worker thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "contract/StatusBlock.h"
#include "nut/TlsPolicy.h"

namespace vandrel {

// What a source says about the UPS now: the status word and the battery
// charge in percent, i.e. the block's words 1 and 2, and for what acts on
// the power state, the UPS's own status ("OB LB"), its runtime and whether
// the server answered at all.
// Whether the source has logged in as a NUT secondary (so the primary waits
// for this PC before it cuts the power).
enum class LoginState { NotAsked, LoggedIn, Refused };

struct SourceReading {
    uint32_t statusWord = kWordNoConnection;
    int charge = -1;          // battery.charge in percent; -1 when not reported
    int runtimeSeconds = -1;  // battery.runtime; -1 when not reported, as for the rest
    int loadPercent = -1;     // ups.load
    int inputVoltageTenths = -1;   // input.voltage, tenths of a volt
    int outputVoltageTenths = -1;  // output.voltage, tenths of a volt
    std::string maker;        // ups.mfr; empty when not reported
    std::string model;        // ups.model
    std::string upsStatus;   // as NUT says it; empty when not answered
    bool answered = false;   // false: no connection, or no usable reply
    LoginState login = LoginState::NotAsked;
    std::string loginProblem;  // LoginState::Refused: why, for people
    std::string failure;       // not answered: why, for people
    std::string server;        // the NUT server read, "ups@host:3493"; empty for a simulation
    nut::LinkState link;       // of the connection to it, if any
    bool loginSentInClear = false;  // this reading's connection just sent the password unencrypted
};

class UpsSource {
public:
    virtual ~UpsSource() = default;
    // The reading to publish now. May take a while (a network round trip)
    // but ends soon after `stop` is set.
    virtual SourceReading Next(HANDLE stop) = 0;
    // How long the reading just returned stands before the next one is due.
    virtual DWORD IntervalMs() const = 0;
    // The machine woke from sleep: whatever the source holds open is stale.
    virtual void NotifyResumed() {}
};

}  // namespace vandrel
