#include "nut/StartTls.h"

#include "nut/CertificateFacts.h"
#include "nut/NutProtocol.h"
#include "nut/ServerCertificate.h"

namespace nut {

namespace {

// One byte at a time: the server's first TLS bytes may follow its answer
// at once, and they are SChannel's, not ours.
std::string ReadAnswer(TlsChannel::Transport& raw, std::string& line) {
    std::string received;
    while (received.empty() || received.back() != '\n') {
        if (received.size() >= kMaxLineBytes) return "reply too long";
        std::string const failure = raw.Receive(received, 1);
        if (!failure.empty()) return failure;
    }
    received.pop_back();
    if (!received.empty() && received.back() == '\r') received.pop_back();
    line = received;
    return std::string();
}

std::wstring Widened(std::string const& text) {
    int const size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

}  // namespace

std::string StartTls(TlsChannel::Transport& raw, std::string const& host, TlsPolicy const& policy,
                     std::unique_ptr<TlsChannel>& channel, LinkState& link) {
    std::string failure = raw.Send("STARTTLS\n");
    std::string answer;
    if (failure.empty()) failure = ReadAnswer(raw, answer);
    if (!failure.empty()) return failure;
    // A server asked to prove itself has to, whatever the mode says.
    TlsMode const mode = policy.check == TlsCheck::None ? policy.mode : TlsMode::Require;
    StartTlsDecision const decision = DecideStartTls(mode, answer);
    if (decision.step == StartTlsStep::Fail) link.refusal = decision.failure;
    if (decision.step != StartTlsStep::Handshake) return decision.failure;

    std::string const name = policy.serverName.empty() ? host : policy.serverName;
    std::wstring const wideName = Widened(name);
    auto tls = std::make_unique<TlsChannel>();
    failure = tls->Handshake(wideName, raw);
    if (!failure.empty()) link.refusal = failure;
    UniqueCertContext certificate;
    if (failure.empty()) failure = tls->RemoteCertificate(certificate);
    ServerFacts facts;
    if (failure.empty()) failure = GatherServerFacts(certificate.get(), policy, wideName, facts);
    if (!failure.empty()) return failure;

    facts.version = tls->Version();
    link = JudgeServer(policy, name, facts);
    if (!link.refusal.empty()) return link.refusal;
    channel = std::move(tls);
    return std::string();
}

}  // namespace nut
