// A client of a Network UPS Tools server (upsd), on Winsock. It reads;
// only the service's persistent monitor, given a secondary's credentials,
// also sends LOGIN, which counts this machine as one the UPS powers, so the
// primary waits for it before cutting the power (and a connection test,
// for as long as it takes to see whether the server accepts the login).
#pragma once

#include <cstdint>
#include <string>

#include "contract/StatusBlock.h"
#include "nut/TlsPolicy.h"
#include "win32/SecretString.h"

namespace nut {

std::uint16_t const kDefaultPort = 3493;

// A UPS as NUT writes it: upsname@host[:port].
struct UpsAddress {
    std::string upsName;
    std::string host;
    std::uint16_t port = kDefaultPort;
};

// Reads "upsname@host[:port]". Returns an empty string on success, else one
// line saying what is wrong ("the UPS name is empty", "the port must be a
// number from 1 to 65535"...); `out` is written only on success.
std::string ParseUpsAddress(std::string const& text, UpsAddress& out);

// "ups@host:3493": always with the port, as ParseUpsAddress reads it back.
std::string FormatUpsAddress(UpsAddress const& address);

// A NUT secondary's user from upsd.users and its password. No user: the
// client only reads. Every copy wipes its password when it goes.
struct Credentials {
    std::string user;
    SecretString password;
};

// Whether the connection has logged in.
enum class LoginOutcome { NotAsked, LoggedIn, Refused };

// What one round of questions to the server gave.
struct UpsReading {
    bool answered = false;       // the server gave ups.status
    std::string status;          // "OL CHRG", as the server sent it
    int charge = -1;             // battery.charge in percent, -1 when not reported
    int runtimeSeconds = -1;     // battery.runtime, -1 when not reported
    int loadPercent = -1;        // ups.load, -1 when not reported
    int inputVoltageTenths = -1;   // input.voltage in tenths of a volt (230.4 V: 2304), -1 when not reported
    int outputVoltageTenths = -1;  // output.voltage likewise
    std::string maker;           // ups.mfr, at most kMaxUpsTextBytes; empty when not reported
    std::string model;           // ups.model likewise
    std::string failure;         // why not, for people: "connection refused",
                                 // "unknown UPS", "data stale", "driver not connected",
                                 // "no answer", "malformed reply"...
    std::uint32_t statusWord = kWordNoConnection;  // the word to publish (LB/FSD, OB, OL, else no connection)
    LoginOutcome login = LoginOutcome::NotAsked;  // of the connection the reading came on
    std::string loginProblem;    // LoginOutcome::Refused: why, "wrong password"...
    LinkState link;              // of the connection the reading came on (or was refused)
    bool loginSent = false;      // this round sent a new connection's login (its user and password)
};

// Connects, lists the UPS's variables (LIST VAR), says LOGOUT and closes,
// all within about `timeoutMs` in all. For the service's status command and
// the configuration program's connection test. Without `login` it never logs
// in, since a passing client must not hold up the primary's shutdown; with
// it, it logs in first and the reading says how that went (the connection
// test asking whether the primary would wait for this machine), and the
// LOGOUT lets the primary forget it again.
UpsReading QueryOnce(UpsAddress const& address, unsigned timeoutMs, Credentials const* login = nullptr);

// QueryOnce over the link `tls` asks for (Session::Connect); the reading's
// `link` says how it came out, and a refused link is the reading's failure.
UpsReading QueryOnceWithTls(UpsAddress const& address, unsigned timeoutMs, Credentials const* login,
                            TlsPolicy const& tls);

}  // namespace nut
