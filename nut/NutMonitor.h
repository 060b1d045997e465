// The service's persistent NUT client. The service calls Poll once per
// poll interval from its worker thread; the monitor keeps one connection
// open across polls and asks for the UPS's variables, one list a poll.
//
//  - A failed connect or a lost connection is retried after 1 s, then 2, 4,
//    8, 16 and 30 s for ever. Between tries Poll returns word 4 at once,
//    with the last failure, without touching the network.
//  - A server error (ERR DATA-STALE...) keeps the connection, and so does
//    a list without ups.status (read as ERR VAR-NOT-SUPPORTED); a malformed
//    or over-long reply (a list past kMaxListedVars lines too), a time-out
//    or a closed connection drops it.
//  - A status with no power state (WAIT while the driver connects) keeps
//    the previous word for 15 s, then gives 4; NextPollInMs says when
//    that is due, so a caller with a long interval polls by then.
//  - Every wait is bounded by the time-outs below and ends within about
//    50 ms once the stop event passed to Poll is set.
//  - NotifyResumed (any thread, e.g. the service's control handler on a
//    resume power event) makes the next Poll drop the connection, which
//    likely died during sleep, and connect again at once.
//  - Given a secondary's credentials, each new connection logs in (USERNAME,
//    PASSWORD, LOGIN <ups>) before its first question. A refusal is said
//    in every reading of that connection (LoginOutcome::Refused and why)
//    but the connection stays for reading; the login is tried again only
//    on the next connection, so a wrong password does not fill upsd's log.
//  - Given a TLS policy, each new connection asks for TLS first; a link the
//    policy refuses is a failed connect, backed off like any other.
//  - The destructor says LOGOUT and closes: upsd forgets the login.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "nut/NutClient.h"
#include "nut/NutProtocol.h"
#include "nut/TlsPolicy.h"

namespace nut {

class Session;

struct MonitorTimeouts {
    unsigned connectMs = 3000;  // name lookup and connect
    unsigned replyMs = 3000;    // each request and its whole reply
};

class NutMonitor {
public:
    // Milliseconds on a steady clock. Tests pass their own to step through
    // back-off and WAIT without sleeping; the network time-outs always run
    // on the real clock.
    using Clock = std::function<std::uint64_t()>;
    static std::uint64_t SteadyClockMs();

    explicit NutMonitor(UpsAddress address, MonitorTimeouts timeouts = MonitorTimeouts(),
                        Clock clock = &NutMonitor::SteadyClockMs);
    // A monitor that logs in as `credentials` (none when the user is empty).
    NutMonitor(UpsAddress address, Credentials credentials, MonitorTimeouts timeouts = MonitorTimeouts(),
               Clock clock = &NutMonitor::SteadyClockMs);
    // A monitor whose connections ask for TLS as `tls` says; each reading's
    // `link` tells how the last connection's link came out.
    NutMonitor(UpsAddress address, Credentials credentials, TlsPolicy tls,
               MonitorTimeouts timeouts = MonitorTimeouts(), Clock clock = &NutMonitor::SteadyClockMs);
    ~NutMonitor();

    NutMonitor(NutMonitor const&) = delete;
    NutMonitor& operator=(NutMonitor const&) = delete;

    // One round. statusWord is the word to publish (held over WAIT as
    // above), charge and the other numbers are -1 when unknown (ChargeWord
    // gives the block's 0), status is what the server said, failure why it
    // said nothing usable.
    // `stop` may be null.
    UpsReading Poll(HANDLE stop);

    // Safe from any thread.
    void NotifyResumed();

    UpsAddress const& Address() const { return address_; }
    bool Connected() const;
    // When to poll next for a caller that polls every `intervalMs`: sooner
    // when the clock alone will change the word by then (a long WAIT).
    std::uint64_t NextPollInMs(std::uint64_t intervalMs) const;

private:
    UpsReading Ask(HANDLE stop);
    // Logs the new connection in. Empty unless it was lost meanwhile.
    std::string LogIn(HANDLE stop);
    void Drop();

    UpsAddress address_;
    Credentials credentials_;
    TlsPolicy tls_;
    MonitorTimeouts timeouts_;
    Clock clock_;
    std::unique_ptr<Session> session_;
    MonitorLogic logic_;
    bool loginSent_ = false;      // since the last reading
    std::string addressProblem_;  // the address is checked once
    std::string lastFailure_;
    LoginOutcome login_ = LoginOutcome::NotAsked;  // of the open connection
    std::string loginProblem_;
    std::atomic<bool> resumed_{false};
};

}  // namespace nut
