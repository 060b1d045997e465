// The NUT client's decisions, apart from any socket: reading reply lines,
// turning replies into a reading, and when to reconnect. Plain C++ with no
// system headers, so it also builds and is fuzzed on the host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract/StatusBlock.h"
#include "nut/NutClient.h"

namespace nut {

// A server line may hold at most this many bytes, its "\n" included.
std::size_t const kMaxLineBytes = 512;


// Cuts received bytes into lines. A line that reaches kMaxLineBytes without
// its "\n" is an error that sticks: the stream cannot be trusted after it.
class LineAssembler {
public:
    enum class Result { NeedMore, Line, TooLong };

    void Append(char const* data, std::size_t size);
    // The next complete line, without "\n" or "\r\n".
    Result Next(std::string& line);
    void Clear();

private:
    std::string pending_;
    bool broken_ = false;
};

// The failure of a round that ended because the caller asked to stop.
extern char const kStoppedFailure[];

// A reply to "GET VAR <ups> <var>", or one line of a list of them.
struct VarReply {
    enum class Kind { Value, Error, Malformed };
    Kind kind = Kind::Malformed;
    std::string value;  // Kind::Value: unescaped
    std::string error;  // Kind::Error: the code, e.g. "DATA-STALE"
};

// Reads `VAR <ups> <var> "value"` (with \" and \\ escapes) or `ERR <CODE>`;
// a VAR line for another UPS or variable is malformed.
VarReply ParseVarReply(std::string const& line, std::string const& ups, std::string const& var);

// ---- one poll: the UPS's variables in one list ----

// The most VAR lines a list may hold: a rich UPS lists a hundred or so. A
// list past it fails as an over-long line does, so that a server that
// never ends its list costs a reconnect and bounded memory.
std::size_t const kMaxListedVars = 300;

// The longest ups.mfr or ups.model a reading keeps; a longer one is absent.
std::size_t const kMaxUpsTextBytes = 64;

// "LIST VAR <ups>\n"; the name must have passed CheckUpsAddress.
std::string FormatListVar(std::string const& ups);

// The variables a poll takes from the list, as VarList holds them.
enum class PolledVar { Status, Charge, Runtime, Load, InputVoltage, OutputVoltage, Maker, Model };
std::size_t const kPolledVarCount = 8;

// What came back for "LIST VAR <ups>": the ERR that came instead of the
// list, or the polled variables among those the list held.
struct VarList {
    std::string error;  // the code, e.g. "DATA-STALE"; empty when the list came
    std::optional<std::string> values[kPolledVarCount];  // unescaped; none when not listed
    std::optional<std::string> const& operator[](PolledVar var) const {
        return values[static_cast<std::size_t>(var)];
    }
};

// Reads the reply to "LIST VAR <ups>" a line at a time: `BEGIN LIST VAR
// <ups>`, lines as ParseVarReply reads them with any variable's name, and
// `END LIST VAR <ups>`; or one `ERR <CODE>` instead. Strictly: a line for
// another UPS, an ERR within the list, a polled variable listed twice or
// anything after the end is Malformed, more than kMaxListedVars lines
// TooLong. Either leaves the stream out of step. Done, Malformed and
// TooLong are final.
class VarListReader {
public:
    enum class Step { More, Done, Malformed, TooLong };

    explicit VarListReader(std::string const& ups);
    Step Take(std::string const& line);
    // Complete once Take said Done.
    VarList const& List() const { return list_; }

private:
    enum class State { First, Listing, Over };
    Step TakeFirst(std::string const& line);
    Step TakeListed(std::string const& line);
    Step Finish(Step step);

    std::string ups_;
    std::string begin_;
    std::string end_;
    std::string varPrefix_;
    State state_ = State::First;
    std::size_t listed_ = 0;
    VarList list_;
};

// ---- logging in as a secondary ----

// The longest login user and password a request may carry.
std::size_t const kMaxCredentialBytes = 128;

// What is wrong with a login user or password for people ("the login user
// is empty"...), empty when it may go into a request. `what` names it.
// Control characters could end the request line and smuggle in another:
// they are refused, as are empty and over-long values.
std::string CheckCredential(std::string const& value, char const* what);

// One argument of a request: as it is when it holds no blank, quote,
// backslash or '#', else quoted with \" and \\ escaped, as upsd reads it.
std::string QuoteArgument(std::string const& value);

// "USERNAME <user>\n", "PASSWORD <password>\n", "LOGIN <ups>\n", in the
// order they are sent; the values must have passed CheckCredential. Each
// line is built in its place without copies: wiping the lines once sent
// leaves no trace of the password.
std::vector<std::string> FormatLoginRequests(std::string const& user, std::string const& password,
                                             std::string const& ups);

// A reply to USERNAME, PASSWORD or LOGIN: "OK" (maybe with words after it)
// or `ERR <CODE>`; anything else is malformed.
struct CommandReply {
    enum class Kind { Ok, Error, Malformed };
    Kind kind = Kind::Malformed;
    std::string error;  // Kind::Error: the code, e.g. "ACCESS-DENIED"
};
CommandReply ParseCommandReply(std::string const& line);

// The longest UPS name and host an address may hold.
std::size_t const kMaxUpsNameBytes = 64;
std::size_t const kMaxHostBytes = 255;

// What is wrong with one part of an address, so that each front end can put
// it beside its own field, in its own words.
enum class AddressPart { UpsName, Host, Port };
enum class AddressFault { Empty, TooLong, Invalid };
struct AddressProblem {
    AddressPart part;
    AddressFault fault;
    std::string message;  // one line for people
};

// The one judge of what a UPS address is, for the client, the service's
// settings, its command line and the configuration program. The host may be
// an IPv6 literal with or without brackets, as a host field may hold it;
// `address` is brought to the one stored form (without them) whatever else
// is wrong. Returns every part in error, in the order name, host, port.
// Names go into requests: blanks, quotes, control characters and '#' (upsd
// reads a comment from there) are refused.
std::vector<AddressProblem> CheckUpsAddress(UpsAddress& address);

// How long the next of `candidatesLeft` addresses a name resolved to may
// take to connect, out of the `remainingMs` left: an equal share, so an
// address that never answers leaves time for the others; the last takes
// all that is left.
std::uint64_t ConnectShareMs(std::uint64_t remainingMs, std::size_t candidatesLeft);

// A short text for people: "unknown UPS", "data stale"...
std::string DescribeServerError(std::string const& code);

// The word for a status line: LB or FSD gives 2, else OB 1, else OL 3.
// 0 when the line names none of them (only WAIT, say): the caller decides,
// since that depends on how long it has lasted. Unknown tokens are ignored.
std::uint32_t PowerStateWord(std::string const& status);

// Whether a status line ("OB DISCHRG LB") carries the flag ("LB").
bool HasStatusFlag(std::string const& status, char const* flag);

// On battery, low or forced: a monitor asks more often then.
bool NeedsAlertPolling(std::string const& status);

// battery.charge ("100", "87.5") in whole percent, -1 when it is not a
// number from 0 to 100.
int ParseCharge(std::string const& value);

// battery.runtime ("1800", "95.0") in whole seconds, -1 when it is not a
// number of up to 7 digits.
int ParseRuntime(std::string const& value);

// ups.load ("23", "104.6") in whole percent, -1 when it is not a number of
// up to 3 digits (an overloaded UPS says more than 100).
int ParseLoad(std::string const& value);

// input.voltage or output.voltage ("230.4", "120") in tenths of a volt
// (2304, 1200), rounded; -1 when it is not a number of up to 4 digits.
int ParseVoltageTenths(std::string const& value);

// One round of questions as a reading. `charge` is null when it was not
// asked (ups.status failed), `runtime` likewise. A status without a power
// state gives word 4 here; NutMonitor holds the previous word for a while
// instead.
UpsReading ReadingFromReplies(VarReply const& status, VarReply const* charge, VarReply const* runtime = nullptr);

// A poll's list as a reading, decided as ReadingFromReplies decides the
// replies GET VAR would have given: a list without ups.status is its
// ERR VAR-NOT-SUPPORTED, an ERR instead of the list each variable's. Values
// that are not numbers, or text over kMaxUpsTextBytes, are absent.
UpsReading ReadingFromList(VarList const& list);

// A reading that failed before the server answered.
UpsReading FailedReading(std::string const& failure);

// Word 2 of the status block: the charge in percent, 0 when unknown.
std::uint32_t ChargeWord(UpsReading const& reading);

// One line for people: "OL CHRG charge=100 -> word 3", "WAIT -> word 4",
// "connection refused -> word 4".
std::string FormatReading(UpsReading const& reading);

// What a persistent client decides between polls, on a clock in
// milliseconds that it is given: when to try connecting again (1 s after a
// failure, doubling to 30 s, never giving up) and which word to publish
// while the server says only WAIT (the last word for 15 s, then 4).
class MonitorLogic {
public:
    static constexpr std::uint64_t kFirstRetryMs = 1000;
    static constexpr std::uint64_t kLongestRetryMs = 30000;
    static constexpr std::uint64_t kLongestWaitMs = 15000;

    // True when a connection attempt may start now.
    bool ConnectDue(std::uint64_t nowMs) const;
    // Milliseconds until the next attempt (0 when due).
    std::uint64_t RetryInMs(std::uint64_t nowMs) const;
    // A connect failed or the connection was lost: wait before the next.
    void OnConnectionFailed(std::uint64_t nowMs);
    // The server gave a well-formed reply (a value or an ERR): the delays
    // start over. Connecting alone is not enough, or a server that accepts
    // and hangs up at once would be asked again every second.
    void OnServerAnswered();
    // The machine woke up: try at once, and start the delays over.
    void OnResumed();
    // The word to publish for a reading taken at `nowMs`.
    std::uint32_t Decide(UpsReading const& reading, std::uint64_t nowMs);
    // Milliseconds until a reading decides differently by the clock alone
    // (a held word gives way to 4 when WAIT has lasted too long): poll again
    // by then. kNoDecisionDue when nothing is pending.
    static constexpr std::uint64_t kNoDecisionDue = UINT64_MAX;
    std::uint64_t NextDecisionInMs(std::uint64_t nowMs) const;

private:
    std::uint64_t nextAttemptMs_ = 0;
    std::uint64_t delayMs_ = kFirstRetryMs;
    std::uint32_t lastWord_ = kWordNoConnection;
    bool waiting_ = false;
    std::uint64_t waitingSinceMs_ = 0;
};

}  // namespace nut
