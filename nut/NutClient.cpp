#include "nut/NutClient.h"

#include "nut/NutProtocol.h"
#include "nut/NutSession.h"

namespace nut {

namespace {

UpsReading AskStatus(Session& session, std::string const& ups, ULONGLONG deadline) {
    VarList list;
    std::string const failure = session.ListVars(ups, deadline, nullptr, list);
    return failure.empty() ? ReadingFromList(list) : FailedReading(failure);
}

}  // namespace

UpsReading QueryOnce(UpsAddress const& address, unsigned timeoutMs, Credentials const* login) {
    return QueryOnceWithTls(address, timeoutMs, login, TlsPolicy());
}

UpsReading QueryOnceWithTls(UpsAddress const& typed, unsigned timeoutMs, Credentials const* login,
                            TlsPolicy const& tls) {
    UpsAddress address = typed;
    std::vector<AddressProblem> const problems = CheckUpsAddress(address);
    if (!problems.empty()) return FailedReading(problems.front().message);

    ULONGLONG const deadline = ::GetTickCount64() + timeoutMs;
    Session session;
    std::string failure = session.Connect(address, deadline, nullptr, tls);
    if (!failure.empty()) {
        UpsReading refused = FailedReading(failure);
        refused.link = session.Link();
        return refused;
    }

    LoginOutcome outcome = LoginOutcome::NotAsked;
    std::string problem;
    if (login != nullptr) {
        failure = session.LogInAs(*login, address.upsName, deadline, nullptr, outcome, problem);
        if (!failure.empty()) return FailedReading(failure);
    }
    UpsReading reading = AskStatus(session, address.upsName, deadline);
    reading.login = outcome;
    reading.loginProblem = problem;
    reading.link = session.Link();
    return reading;
    // The session's destructor says LOGOUT.
}

}  // namespace nut
