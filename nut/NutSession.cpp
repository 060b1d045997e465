#include "nut/NutSession.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "win32/ScopeExit.h"
#include "win32/SecretString.h"

#include "nut/StartTls.h"
#include "nut/TlsChannel.h"

namespace nut {

namespace {

// select() waits this long at most, so a stop event is seen promptly.
ULONGLONG const kStopCheckMs = 50;
std::size_t const kReceiveChunk = 512;

struct AddressListDeleter {
    void operator()(ADDRINFOA* list) const {
        if (list != nullptr) ::freeaddrinfo(list);
    }
};
using AddressList = std::unique_ptr<ADDRINFOA, AddressListDeleter>;

bool StopSet(HANDLE stop) { return stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0; }

std::string DescribeSocketError(int error) {
    switch (error) {
    case WSAECONNREFUSED: return "connection refused";
    case WSAETIMEDOUT: return "no answer";
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH: return "host unreachable";
    case WSAECONNRESET:
    case WSAECONNABORTED: return "connection lost";
    default: return "cannot connect (error " + std::to_string(error) + ")";
    }
}

// A name lookup that may outlive its caller: getaddrinfo has no time-out,
// so it runs on a thread of its own and the caller stops waiting at the
// deadline. Whichever side finishes last frees the result.
struct Lookup {
    std::mutex lock;
    bool abandoned = false;
    bool finished = false;
    int error = 0;
    ADDRINFOA* result = nullptr;
    UniqueKernelHandle done{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

std::string Resolve(UpsAddress const& address, ULONGLONG deadline, HANDLE stop, AddressList& out) {
    std::string const port = std::to_string(address.port);
    ADDRINFOA hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;

    // Literal addresses need no lookup and no thread.
    hints.ai_flags = AI_NUMERICHOST;
    ADDRINFOA* list = nullptr;
    if (::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &list) == 0) {
        out.reset(list);
        return std::string();
    }
    hints.ai_flags = 0;

    auto lookup = std::make_shared<Lookup>();
    if (!lookup->done) return "cannot look up the host";
    try {
        std::thread([lookup, host = address.host, port, hints] {
            WSADATA data;
            bool const started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
            ADDRINFOA* found = nullptr;
            int const error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
            if (started) ::WSACleanup();
            std::lock_guard<std::mutex> guard(lookup->lock);
            if (lookup->abandoned) {
                if (found != nullptr) ::freeaddrinfo(found);
            } else {
                lookup->error = error;
                lookup->result = found;
            }
            lookup->finished = true;
            ::SetEvent(lookup->done.get());
        }).detach();
    } catch (std::exception const&) {
        return "cannot look up the host";
    }

    HANDLE waits[2] = {lookup->done.get(), stop};
    DWORD const count = stop != nullptr ? 2 : 1;
    ULONGLONG const now = ::GetTickCount64();
    DWORD const waitMs = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
    DWORD const woke = ::WaitForMultipleObjects(count, waits, FALSE, waitMs);

    std::lock_guard<std::mutex> guard(lookup->lock);
    if (!lookup->finished) {
        lookup->abandoned = true;
        return woke == WAIT_OBJECT_0 + 1 ? kStoppedFailure : "no answer from the name service";
    }
    if (lookup->error != 0 || lookup->result == nullptr) return "unknown host";
    out.reset(lookup->result);
    lookup->result = nullptr;
    return std::string();
}

}  // namespace

// The socket as TLS's transport, with the waits of the request it serves.
class Session::Raw final : public TlsChannel::Transport {
public:
    Raw(Session& session, ULONGLONG deadline, HANDLE stop) : session_(session), deadline_(deadline), stop_(stop) {}
    std::string Send(std::string const& bytes) override { return session_.SendRaw(bytes, deadline_, stop_); }
    std::string Receive(std::string& into, std::size_t most) override {
        return session_.ReceiveRaw(into, most, deadline_, stop_);
    }

private:
    Session& session_;
    ULONGLONG deadline_;
    HANDLE stop_;
};

Session::Session() {
    WSADATA data;
    winsock_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Session::~Session() {
    Close();
    if (winsock_) ::WSACleanup();
}

bool Session::Connected() const { return static_cast<bool>(socket_); }

Session::Wait Session::WaitFor(bool forWrite, ULONGLONG deadline, HANDLE stop) {
    for (;;) {
        if (StopSet(stop)) return Wait::Stopped;
        ULONGLONG const now = ::GetTickCount64();
        if (now >= deadline) return Wait::TimedOut;
        ULONGLONG const sliceMs = std::min(deadline - now, kStopCheckMs);
        timeval timeout{};
        timeout.tv_usec = static_cast<long>(sliceMs * 1000);

        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_.get(), &ready);
        // A failed non-blocking connect shows up in the exception set.
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(socket_.get(), &failed);
        int const count = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &timeout);
        if (count == SOCKET_ERROR) return Wait::Failed;
        if (count > 0) return Wait::Ready;
    }
}

std::string Session::Connect(UpsAddress const& address, ULONGLONG deadline, HANDLE stop, TlsPolicy const& tls) {
    Close();
    link_ = LinkState();
    if (!winsock_) return "Winsock is not available";
    AddressList addresses;
    std::string const failure = Resolve(address, deadline, stop, addresses);
    if (!failure.empty()) return failure;

    std::size_t left = 0;
    for (ADDRINFOA* candidate = addresses.get(); candidate != nullptr; candidate = candidate->ai_next) ++left;

    std::string last = "unknown host";
    for (ADDRINFOA* candidate = addresses.get(); candidate != nullptr; candidate = candidate->ai_next, --left) {
        // An address that never answers (often the IPv6 one) must leave
        // time for the others.
        ULONGLONG const now = ::GetTickCount64();
        ULONGLONG const share = ConnectShareMs(now >= deadline ? 0 : deadline - now, left);
        socket_.reset(::socket(candidate->ai_family, candidate->ai_socktype, candidate->ai_protocol));
        if (!socket_) {
            last = DescribeSocketError(::WSAGetLastError());
            continue;
        }
        u_long nonBlocking = 1;
        if (::ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) != 0) {
            last = DescribeSocketError(::WSAGetLastError());
            socket_.reset();
            continue;
        }
        if (::connect(socket_.get(), candidate->ai_addr, static_cast<int>(candidate->ai_addrlen)) == 0) break;
        int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            Wait const wait = WaitFor(true, now + share, stop);
            if (wait == Wait::Stopped) {
                socket_.reset();
                return kStoppedFailure;
            }
            if (wait == Wait::TimedOut) {
                last = "no answer";
                socket_.reset();
                continue;
            }
            int size = sizeof(error);
            if (wait == Wait::Failed ||
                ::getsockopt(socket_.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
                error = ::WSAGetLastError();
            }
            if (error == 0) break;
        }
        last = DescribeSocketError(error);
        socket_.reset();
    }
    if (!socket_) return last;
    lines_.Clear();
    return tls.mode == TlsMode::Off ? std::string() : SecureLink(address, tls, deadline, stop);
}

std::string Session::SecureLink(UpsAddress const& address, TlsPolicy const& tls, ULONGLONG deadline,
                                HANDLE stop) {
    Raw raw(*this, deadline, stop);
    std::string failure = StartTls(raw, address.host, tls, tls_, link_);
    // A first request over the new link, so that a server that could not
    // take it fails the connection here rather than the caller's request.
    std::string answer;
    if (failure.empty() && tls_) failure = Exchange("VER\n", answer, deadline, stop);
    if (failure.empty()) return std::string();
    // Not even LOGOUT: the server is not the one asked for, or not on the
    // terms asked for.
    socket_.reset();
    tls_.reset();
    lines_.Clear();
    return failure;
}

std::string Session::SendAll(std::string const& data, ULONGLONG deadline, HANDLE stop) {
    if (!tls_) return SendRaw(data, deadline, stop);
    Raw raw(*this, deadline, stop);
    return tls_->Send(data, raw);
}

std::string Session::SendRaw(std::string const& data, ULONGLONG deadline, HANDLE stop) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        int const count = ::send(socket_.get(), data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return "connection lost";
        Wait const wait = WaitFor(true, deadline, stop);
        if (wait == Wait::Stopped) return kStoppedFailure;
        if (wait == Wait::TimedOut) return "no answer";
        if (wait == Wait::Failed) return "connection lost";
    }
    return std::string();
}

std::string Session::ReadLine(std::string& line, ULONGLONG deadline, HANDLE stop) {
    for (;;) {
        switch (lines_.Next(line)) {
        case LineAssembler::Result::Line: return std::string();
        case LineAssembler::Result::TooLong: return "reply too long";
        case LineAssembler::Result::NeedMore: break;
        }
        std::string received;
        std::string const failure = ReceiveSome(received, deadline, stop);
        if (!failure.empty()) return failure;
        lines_.Append(received.data(), received.size());
    }
}

std::string Session::ReceiveSome(std::string& into, ULONGLONG deadline, HANDLE stop) {
    if (!tls_) return ReceiveRaw(into, kReceiveChunk, deadline, stop);
    Raw raw(*this, deadline, stop);
    return tls_->Receive(into, raw);
}

std::string Session::ReceiveRaw(std::string& into, std::size_t most, ULONGLONG deadline, HANDLE stop) {
    char buffer[kReceiveChunk];
    for (;;) {
        int const count = ::recv(socket_.get(), buffer, static_cast<int>(std::min(most, sizeof buffer)), 0);
        if (count > 0) {
            into.append(buffer, static_cast<std::size_t>(count));
            return std::string();
        }
        if (count == 0) return "connection closed by the server";
        if (::WSAGetLastError() != WSAEWOULDBLOCK) return "connection lost";
        Wait const wait = WaitFor(false, deadline, stop);
        if (wait == Wait::Stopped) return kStoppedFailure;
        if (wait == Wait::TimedOut) return "no answer";
        if (wait == Wait::Failed) return "connection lost";
    }
}

std::string Session::Exchange(std::string const& request, std::string& line, ULONGLONG deadline, HANDLE stop) {
    if (!socket_) return "not connected";
    std::string const failure = SendAll(request, deadline, stop);
    return failure.empty() ? ReadLine(line, deadline, stop) : failure;
}

std::string Session::ListVars(std::string const& ups, ULONGLONG deadline, HANDLE stop, VarList& list) {
    VarListReader reader(ups);
    std::string line;
    std::string failure = Exchange(FormatListVar(ups), line, deadline, stop);
    while (failure.empty()) {
        switch (reader.Take(line)) {
        case VarListReader::Step::Done: list = reader.List(); return std::string();
        case VarListReader::Step::Malformed: return "malformed reply";
        case VarListReader::Step::TooLong: return "reply too long";
        case VarListReader::Step::More: failure = ReadLine(line, deadline, stop); break;
        }
    }
    return failure;
}

std::string Session::Login(Credentials const& credentials, std::string const& ups, ULONGLONG deadline,
                           HANDLE stop, CommandReply& reply) {
    std::vector<std::string> requests = FormatLoginRequests(credentials.user, credentials.password.get(), ups);
    // The PASSWORD line holds the password in clear.
    ScopeExit wipe([&requests] {
        for (std::string& request : requests) WipeString(request);
    });
    for (std::string const& request : requests) {
        std::string line;
        std::string const failure = Exchange(request, line, deadline, stop);
        if (!failure.empty()) return failure;
        reply = ParseCommandReply(line);
        if (reply.kind == CommandReply::Kind::Malformed) return "malformed reply";
        if (reply.kind == CommandReply::Kind::Error) break;
    }
    return std::string();
}

std::string Session::LogInAs(Credentials const& credentials, std::string const& ups, ULONGLONG deadline,
                             HANDLE stop, LoginOutcome& outcome, std::string& problem) {
    // Refused here rather than sent: it could not be said on one line.
    std::string checked = CheckCredential(credentials.user, "login user");
    if (checked.empty()) checked = CheckCredential(credentials.password.get(), "password");
    if (!checked.empty()) {
        outcome = LoginOutcome::Refused;
        problem = checked;
        return std::string();
    }
    CommandReply reply;
    std::string const failure = Login(credentials, ups, deadline, stop, reply);
    if (!failure.empty()) return failure;
    if (reply.kind == CommandReply::Kind::Ok) {
        outcome = LoginOutcome::LoggedIn;
        problem.clear();
    } else {
        outcome = LoginOutcome::Refused;
        problem = DescribeServerError(reply.error);
    }
    return std::string();
}

void Session::Close() {
    if (!socket_) return;
    // One try and no wait: the send buffer is empty between requests, and a
    // stopping service must not linger for a goodbye.
    std::string goodbye = "LOGOUT\n";
    // Over TLS: sealed, and followed by the close_notify alert.
    if (tls_) goodbye = tls_->Farewell(goodbye);
    ::send(socket_.get(), goodbye.data(), static_cast<int>(goodbye.size()), 0);
    ::shutdown(socket_.get(), SD_SEND);
    socket_.reset();
    tls_.reset();
    lines_.Clear();
}

}  // namespace nut
