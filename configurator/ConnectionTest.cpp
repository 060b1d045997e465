#include "configurator/ConnectionTest.h"

#include <utility>

namespace dellomark {

ConnectionTest::ConnectionTest(Query query) : query_(std::move(query)) {}

bool ConnectionTest::Start(HWND target, UINT message, nut::UpsAddress const& address,
                           std::optional<nut::Credentials> login, unsigned timeoutMs) {
    nut::UpsReading failed;
    failed.failure = "internal error";
    return job_.Start(
        target, message,
        [query = query_, address, login = std::move(login), timeoutMs] {
            return query(address, timeoutMs, login ? &*login : nullptr);
        },
        failed);
}

}  // namespace dellomark
