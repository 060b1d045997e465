#include "configurator/ConnectionTest.h"

#include <utility>

#include "configurator/Wipe.h"

namespace dellomark {

namespace {

// The job's copy of the login. The job is moved and copied on its way to
// its thread; each copy wipes its password as it goes, the moved-from ones
// too (a short string leaves its bytes behind when moved).
class LoginCopy {
public:
    explicit LoginCopy(nut::Credentials const* login) : given_(login != nullptr) {
        if (given_) {
            login_.user = login->user;
            login_.password = login->password;
        }
    }
    LoginCopy(LoginCopy const&) = default;
    LoginCopy(LoginCopy&&) = default;
    LoginCopy& operator=(LoginCopy const&) = delete;
    LoginCopy& operator=(LoginCopy&&) = delete;
    ~LoginCopy() { Wipe(login_.password); }

    nut::Credentials const* get() const { return given_ ? &login_ : nullptr; }

private:
    bool given_;
    nut::Credentials login_;
};

}  // namespace

ConnectionTest::ConnectionTest(Query query) : query_(std::move(query)) {}

bool ConnectionTest::Start(HWND target, UINT message, nut::UpsAddress const& address, nut::Credentials const* login,
                           unsigned timeoutMs) {
    nut::UpsReading failed;
    failed.failure = "internal error";
    return job_.Start(
        target, message,
        [query = query_, address, copy = LoginCopy(login), timeoutMs] { return query(address, timeoutMs, copy.get()); },
        failed);
}

}  // namespace dellomark
