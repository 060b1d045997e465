// One connection test at a time, on a worker thread, so the dialog keeps
// answering while the server is slow or silent. The worker posts a message
// to the window when it is done; the window then takes the reading.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>

#include "configurator/BackgroundJob.h"
#include "nut/NutClient.h"

namespace dellomark {

class ConnectionTest {
public:
    // nut::QueryOnceWithTls: logs in only when given credentials, over the
    // link the policy asks for.
    using Query = std::function<nut::UpsReading(nut::UpsAddress const&, unsigned timeoutMs,
                                                nut::Credentials const* login, nut::TlsPolicy const& tls)>;

    explicit ConnectionTest(Query query);

    // Starts a test unless one runs, logging in as `login` when given (null:
    // it only reads), over the link `tls` asks for. The test keeps a copy of
    // the login of its own, its password wiped when the test is done with
    // it. `message` is posted to `target` when it ends, also when it failed.
    bool Start(HWND target, UINT message, nut::UpsAddress const& address, nut::Credentials const* login,
               nut::TlsPolicy const& tls, unsigned timeoutMs);

    bool Running() const { return job_.Running(); }
    std::optional<nut::UpsReading> Take() { return job_.Take(); }
    void Abandon(DWORD waitMs) { job_.Abandon(waitMs); }

private:
    Query query_;
    BackgroundJob<nut::UpsReading> job_;
};

}  // namespace dellomark
