// One TCP connection to upsd, on Winsock. Every wait in it is bounded by a
// deadline (GetTickCount64 time) and, when given, ends early once a stop
// event is set, so a server that accepts and then says nothing costs a
// time-out, never a hang. Given a TLS policy, the connection asks for TLS
// (StartTls.h) and from then on every request and reply is encrypted.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <string>

#include "nut/NutClient.h"
#include "nut/NutProtocol.h"
#include "nut/TlsPolicy.h"
#include "win32/UniqueHandle.h"

namespace nut {

class TlsChannel;

namespace handle_traits {
struct Socket {
    using type = SOCKET;
    static type invalid() noexcept { return INVALID_SOCKET; }
    static void close(type s) noexcept { ::closesocket(s); }
};
}  // namespace handle_traits

class Session {
public:
    Session();   // WSAStartup
    ~Session();  // Close, WSACleanup

    Session(Session const&) = delete;
    Session& operator=(Session const&) = delete;

    bool Connected() const;

    // Resolves and connects. Empty on success, else why not: "connection
    // refused", "no answer", "unknown host", kStoppedFailure...
    // With `tls` of mode Try or Require, the connection then asks for TLS
    // and, on a link the policy refuses, or without TLS under Require, fails
    // having sent nothing but STARTTLS.
    std::string Connect(UpsAddress const& address, ULONGLONG deadline, HANDLE stop,
                        TlsPolicy const& tls = TlsPolicy());

    // How the last Connect's link came out, also when it failed.
    LinkState const& Link() const { return link_; }

    // Sends "LIST VAR <ups>" and reads the whole list, or the ERR that
    // answers instead, into `list`, all by `deadline`. Empty on success;
    // otherwise (a malformed or over-long list included) the connection is
    // no longer usable and the caller closes it.
    std::string ListVars(std::string const& ups, ULONGLONG deadline, HANDLE stop, VarList& list);

    // Sends USERNAME, PASSWORD and LOGIN <ups>, each answered on its own,
    // and stops at the first refusal. Empty on success, with `reply` the last
    // answer (Ok, or the refusal's Error); otherwise, a malformed answer
    // included, the connection is no longer usable.
    std::string Login(Credentials const& credentials, std::string const& ups, ULONGLONG deadline, HANDLE stop,
                      CommandReply& reply);

    // Login, with the credentials checked first and the answer judged:
    // `outcome` is LoggedIn, or Refused with `problem` for people ("access
    // denied", "the password is empty"...). Credentials that could not go on
    // one line are refused without asking. Empty unless the connection failed.
    std::string LogInAs(Credentials const& credentials, std::string const& ups, ULONGLONG deadline, HANDLE stop,
                        LoginOutcome& outcome, std::string& problem);

    // Says LOGOUT (without waiting for the goodbye) and closes.
    void Close();

private:
    enum class Wait { Ready, TimedOut, Stopped, Failed };
    Wait WaitFor(bool forWrite, ULONGLONG deadline, HANDLE stop);
    std::string SendAll(std::string const& data, ULONGLONG deadline, HANDLE stop);
    std::string ReadLine(std::string& line, ULONGLONG deadline, HANDLE stop);
    // The socket itself, under TLS too.
    class Raw;
    std::string SendRaw(std::string const& data, ULONGLONG deadline, HANDLE stop);
    std::string ReceiveRaw(std::string& into, std::size_t most, ULONGLONG deadline, HANDLE stop);
    std::string ReceiveSome(std::string& into, ULONGLONG deadline, HANDLE stop);
    std::string SecureLink(UpsAddress const& address, TlsPolicy const& tls, ULONGLONG deadline, HANDLE stop);
    // One request and the one line that answers it.
    std::string Exchange(std::string const& request, std::string& line, ULONGLONG deadline, HANDLE stop);

    bool winsock_ = false;
    UniqueHandle<handle_traits::Socket> socket_;
    LineAssembler lines_;
    std::unique_ptr<TlsChannel> tls_;  // while the link is encrypted
    LinkState link_;
};

}  // namespace nut
