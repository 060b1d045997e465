#include "companions/nut/NutClient.h"

#include "companions/nut/NutProtocol.h"
#include "companions/nut/NutSession.h"

namespace nut {

UpsReading QueryOnce(UpsAddress const& typed, unsigned timeoutMs) {
    UpsAddress address = typed;
    std::vector<AddressProblem> const problems = CheckUpsAddress(address);
    if (!problems.empty()) return FailedReading(problems.front().message);

    ULONGLONG const deadline = ::GetTickCount64() + timeoutMs;
    Session session;
    std::string failure = session.Connect(address, deadline, nullptr);
    if (!failure.empty()) return FailedReading(failure);

    VarReply status;
    failure = session.Ask(address.upsName, "ups.status", deadline, nullptr, status);
    if (!failure.empty()) return FailedReading(failure);
    if (status.kind != VarReply::Kind::Value) return ReadingFromReplies(status, nullptr);

    VarReply charge;
    failure = session.Ask(address.upsName, "battery.charge", deadline, nullptr, charge);
    if (!failure.empty()) return FailedReading(failure);
    return ReadingFromReplies(status, &charge);
    // The session's destructor says LOGOUT.
}

}  // namespace nut
