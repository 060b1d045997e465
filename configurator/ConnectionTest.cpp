#include "configurator/ConnectionTest.h"

#include <optional>
#include <utility>

namespace dellomark {

ConnectionTest::ConnectionTest(Query query) : query_(std::move(query)) {}

bool ConnectionTest::Start(HWND target, UINT message, nut::UpsAddress const& address, nut::Credentials const* login,
                           nut::TlsPolicy const& tls, unsigned timeoutMs) {
    nut::UpsReading failed;
    failed.failure = "internal error";
    // The job is copied and moved on its way to its thread; each copy of the
    // password wipes itself as it goes.
    std::optional<nut::Credentials> copy;
    if (login != nullptr) copy = *login;
    return job_.Start(
        target, message,
        [query = query_, address, copy = std::move(copy), tls, timeoutMs] {
            return query(address, timeoutMs, copy ? &*copy : nullptr, tls);
        },
        failed);
}

}  // namespace dellomark
