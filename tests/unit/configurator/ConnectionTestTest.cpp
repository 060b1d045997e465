// The connection test's worker: the answer reaches the window once, and a
// window that goes while the server is still silent is never posted to.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "configurator/ConnectionTest.h"
#include "win32/UniqueHandle.h"

namespace {

using namespace dellomark;

UINT const kDoneMessage = WM_APP + 7;
DWORD const kWaitMs = 10000;  // a bound for a hung worker, not a speed check

struct Window {
    using type = HWND;
    static type invalid() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyWindow(h); }
};

// A message-only window of this thread to post to.
UniqueHandle<Window> MakeTarget() {
    return UniqueHandle<Window>(
        ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
}

// Waits for the done message to `target`; false when none came in time.
bool WaitForDone(HWND target, DWORD timeoutMs) {
    ULONGLONG const end = ::GetTickCount64() + timeoutMs;
    MSG message;
    for (;;) {
        if (::PeekMessageA(&message, target, kDoneMessage, kDoneMessage, PM_REMOVE)) return true;
        ULONGLONG const now = ::GetTickCount64();
        if (now >= end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_POSTMESSAGE);
    }
}

bool DoneIsQueued(HWND target) {
    MSG message;
    return ::PeekMessageA(&message, target, kDoneMessage, kDoneMessage, PM_NOREMOVE) != FALSE;
}

// Sets an event when the last copy of the query is gone, which is when the
// worker has finished with everything it shares.
struct GoneSignal {
    explicit GoneSignal(HANDLE e) : event(e) {}
    ~GoneSignal() { ::SetEvent(event); }
    GoneSignal(GoneSignal const&) = delete;
    GoneSignal& operator=(GoneSignal const&) = delete;
    HANDLE event;
};

TEST(ConnectionTestWorker, PostsOnceAndHandsOverTheReadingOnce) {
    auto target = MakeTarget();
    ASSERT_TRUE(target);
    nut::UpsAddress seen;
    unsigned seenTimeout = 0;
    nut::TlsPolicy seenTls;
    ConnectionTest test([&](nut::UpsAddress const& address, unsigned timeoutMs, nut::Credentials const*,
                            nut::TlsPolicy const& tls) {
        seen = address;
        seenTimeout = timeoutMs;
        seenTls = tls;
        nut::UpsReading reading;
        reading.answered = true;
        reading.status = "OB DISCHRG";
        return reading;
    });
    nut::TlsPolicy pinned;
    pinned.mode = nut::TlsMode::Require;
    pinned.check = nut::TlsCheck::Pin;
    pinned.pin[0] = 0xab;
    ASSERT_TRUE(
        test.Start(target.get(), kDoneMessage, nut::UpsAddress{"ups", "nas", 3493}, nullptr, pinned, 1500));
    ASSERT_TRUE(WaitForDone(target.get(), kWaitMs));
    EXPECT_EQ("nas", seen.host);
    EXPECT_EQ(1500u, seenTimeout);
    EXPECT_TRUE(pinned == seenTls);

    std::optional<nut::UpsReading> const reading = test.Take();
    ASSERT_TRUE(reading.has_value());
    EXPECT_EQ("OB DISCHRG", reading->status);
    EXPECT_FALSE(test.Take().has_value());
}

TEST(ConnectionTestWorker, AQueryThatThrowsIsAFailedReading) {
    auto target = MakeTarget();
    ConnectionTest test([](nut::UpsAddress const&, unsigned, nut::Credentials const*,
                           nut::TlsPolicy const&) -> nut::UpsReading { throw std::runtime_error("x"); });
    ASSERT_TRUE(test.Start(target.get(), kDoneMessage, nut::UpsAddress{}, nullptr, nut::TlsPolicy{}, 100));
    ASSERT_TRUE(WaitForDone(target.get(), kWaitMs));
    std::optional<nut::UpsReading> const reading = test.Take();
    ASSERT_TRUE(reading.has_value());
    EXPECT_FALSE(reading->answered);
    EXPECT_FALSE(reading->failure.empty());
}

TEST(ConnectionTestWorker, OneTestAtATime) {
    auto target = MakeTarget();
    UniqueKernelHandle release(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE const releaseEvent = release.get();
    ConnectionTest test([releaseEvent](nut::UpsAddress const&, unsigned, nut::Credentials const*,
                                       nut::TlsPolicy const&) {
        ::WaitForSingleObject(releaseEvent, kWaitMs);
        return nut::UpsReading{};
    });
    ASSERT_TRUE(test.Start(target.get(), kDoneMessage, nut::UpsAddress{}, nullptr, nut::TlsPolicy{}, 100));
    EXPECT_TRUE(test.Running());
    EXPECT_FALSE(test.Start(target.get(), kDoneMessage, nut::UpsAddress{}, nullptr, nut::TlsPolicy{}, 100));
    ::SetEvent(releaseEvent);
    ASSERT_TRUE(WaitForDone(target.get(), kWaitMs));
    EXPECT_FALSE(test.Running());
    EXPECT_TRUE(test.Start(target.get(), kDoneMessage, nut::UpsAddress{}, nullptr, nut::TlsPolicy{}, 100));
    ASSERT_TRUE(WaitForDone(target.get(), kWaitMs));
}

// The dialog closes while the server says nothing: closing returns after
// the bounded wait, and the answer that comes later goes nowhere.
TEST(ConnectionTestWorker, AnAbandonedTestReturnsAtOnceAndNeverPostsItsLateAnswer) {
    auto target = MakeTarget();
    UniqueKernelHandle release(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueKernelHandle gone(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE const releaseEvent = release.get();
    {
        auto signal = std::make_shared<GoneSignal>(gone.get());
        ConnectionTest test([releaseEvent, signal](nut::UpsAddress const&, unsigned, nut::Credentials const*,
                                                   nut::TlsPolicy const&) {
            ::WaitForSingleObject(releaseEvent, kWaitMs);
            nut::UpsReading reading;
            reading.answered = true;
            return reading;
        });
        signal.reset();
        ASSERT_TRUE(test.Start(target.get(), kDoneMessage, nut::UpsAddress{}, nullptr, nut::TlsPolicy{}, 100));
        test.Abandon(0);
        EXPECT_FALSE(test.Take().has_value());
    }
    ::SetEvent(releaseEvent);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(gone.get(), kWaitMs)) << "the worker never finished";
    EXPECT_FALSE(DoneIsQueued(target.get()));
}

}  // namespace
