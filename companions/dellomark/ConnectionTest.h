// One connection test at a time, on a worker thread, so the dialog keeps
// answering while the server is slow or silent. The worker posts a message
// to the window when it is done; the window then takes the reading.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>

#include "common/UniqueHandle.h"
#include "companions/nut/NutClient.h"

namespace dellomark {

class ConnectionTest {
public:
    using Query = std::function<nut::UpsReading(nut::UpsAddress const&, unsigned timeoutMs)>;

    explicit ConnectionTest(Query query);
    ~ConnectionTest();  // Abandon(kAbandonWaitMs)
    ConnectionTest(ConnectionTest const&) = delete;
    ConnectionTest& operator=(ConnectionTest const&) = delete;

    // A worker that outlives its window is waited for this long, then left to
    // end on its own (it holds nothing of the window's).
    static DWORD const kAbandonWaitMs = 1000;

    // Starts a test unless one runs. `message` is posted to `target` when
    // it ends, also when it failed.
    bool Start(HWND target, UINT message, nut::UpsAddress const& address, unsigned timeoutMs);

    // True from Start until the reading is in (the message may still be on
    // its way).
    bool Running() const;

    // The reading of the test that ended, once; nothing while it runs.
    std::optional<nut::UpsReading> Take();

    // Posts nothing more, then waits up to `waitMs` for the worker. Call it
    // before the window goes.
    void Abandon(DWORD waitMs);

private:
    struct Shared;
    static DWORD WINAPI Run(void* parameter);

    Query query_;
    std::shared_ptr<Shared> shared_;
    UniqueKernelHandle thread_;
};

}  // namespace dellomark
