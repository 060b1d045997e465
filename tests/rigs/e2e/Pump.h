// Waiting on a test thread that may own windows or hooks: every wait keeps
// dispatching the thread's messages, so out-of-context event hooks and
// messages sent to the test's own windows are delivered meanwhile.
#pragma once

#include <windows.h>

#include <functional>

namespace e2e {

// Generous default for anything that waits on another process under Wine on
// a loaded machine. Waits end as soon as their condition holds.
constexpr DWORD kDefaultWaitMs = 10000;

// Dispatches messages until `done()` holds or `timeoutMs` passed; returns
// done(). It is asked again after every message, whenever `wake` (if given)
// is signalled, and at least every few milliseconds.
bool PumpUntil(std::function<bool()> const& done, DWORD timeoutMs, HANDLE wake = nullptr);

// Dispatches messages until `handle` is signalled or `timeoutMs` passed.
bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs);

// Dispatches whatever arrives during `ms` milliseconds.
void PumpFor(DWORD ms);

}  // namespace e2e
