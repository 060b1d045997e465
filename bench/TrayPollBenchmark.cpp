// What one timer tick costs the agent: WM_TIMER delivered to a real agent
// window through its window procedure (the framework's dispatch, the map
// lookup, the registered-message checks, then open the block, lock, copy,
// release, refresh the tray), beside the bare system calls the same tick
// makes with nothing of the agent in between.
// Both are measured in the same run, interleaved, and the medians compared.
//
// Usage: tray_poll_bench.exe [ticks]   (default 3000; run under Wine)
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "contract/StatusPublisher.h"  // the publishing side
#include "frame/MainFrame.h"
#include "frame/TrayIndicator.h"
#include "res/resource.h"
#include "tests/doubles/tray/FakeTray.h"
#include "win32/Seam.h"
#include "win32/UniqueHandle.h"

namespace {

constexpr int kDefaultTicks = 3000;
constexpr int kWarmUpTicks = 200;
constexpr DWORD kLockWaitMs = 100;
constexpr std::uint32_t kStatusOnLine = 3;

// The shell stand-in for the first measurement: accepts and does nothing,
// so the figure is the agent's and not the tray's.
class AcceptingShell final : public TrayShellApi {
public:
    BOOL NotifyIcon(DWORD, NOTIFYICONDATAA*) override { return TRUE; }
};

// One tick as the timer delivers it: through the window procedure.
void AgentTick(HWND window) {
    MSG tick{window, WM_TIMER, kPollTimerId, 0, 0, {0, 0}};
    ::DispatchMessageA(&tick);
}

// The same calls as one tick of the agent with status word 3, in the same
// order, and nothing else. The owners compile to the plain close calls.
void BareTick(HMODULE module, NOTIFYICONDATAA& record, bool callShell) {
    UniqueKernelHandle mapping(::OpenFileMappingA(FILE_MAP_READ, FALSE, kStatusMappingName));
    UniqueKernelHandle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kStatusMutexName));
    if (!mapping || !mutex) return;
    DWORD waited = ::WaitForSingleObject(mutex.get(), kLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return;
    std::uint32_t words[3];
    {
        UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        if (view) std::memcpy(words, view.get(), sizeof words);
    }
    ::ReleaseMutex(mutex.get());

    char first[128];
    char second[128];
    ::LoadStringA(module, IDS_ON_LINE, first, sizeof first);
    ::LoadStringA(module, IDS_BATTERY_NORMAL, second, sizeof second);
    record.hIcon = ::LoadIconA(module, MAKEINTRESOURCEA(IDI_ON_LINE));
    char tip[sizeof first + 1 + sizeof second];
    std::strcpy(tip, first);
    std::strcat(tip, " ");
    std::strcat(tip, second);
    ::lstrcpynA(record.szTip, tip, sizeof record.szTip);
    if (callShell) ::Shell_NotifyIconA(NIM_MODIFY, &record);
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    size_t const middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

struct Medians {
    double agentUs;
    double bareUs;
};

// Alternates which of the two goes first, so drift and cache warmth fall
// on both alike.
Medians Measure(HWND window, NOTIFYICONDATAA& record, bool callShell, int ticks) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    double const usPerCount = 1e6 / static_cast<double>(frequency.QuadPart);
    auto now = [] {
        LARGE_INTEGER counter;
        ::QueryPerformanceCounter(&counter);
        return counter.QuadPart;
    };

    for (int i = 0; i < kWarmUpTicks; ++i) {
        AgentTick(window);
        BareTick(module, record, callShell);
    }
    std::vector<double> agent;
    std::vector<double> bare;
    agent.reserve(ticks);
    bare.reserve(ticks);
    for (int i = 0; i < ticks; ++i) {
        for (int turn = 0; turn < 2; ++turn) {
            bool const agentTurn = (turn == 0) == (i % 2 == 0);
            LONGLONG const start = now();
            if (agentTurn) {
                AgentTick(window);
            } else {
                BareTick(module, record, callShell);
            }
            double const us = static_cast<double>(now() - start) * usPerCount;
            (agentTurn ? agent : bare).push_back(us);
        }
    }
    return {Median(agent), Median(bare)};
}

void Report(char const* title, Medians const& medians) {
    std::printf("%s\n", title);
    std::printf("  WM_TIMER through the agent window          median %9.2f us\n", medians.agentUs);
    std::printf("  bare system calls, same sequence           median %9.2f us\n", medians.bareUs);
    std::printf("  ratio                                              %9.2f\n", medians.agentUs / medians.bareUs);
}

}  // namespace

int main(int argc, char** argv) {
    int const ticks = argc > 1 ? std::atoi(argv[1]) : kDefaultTicks;
    if (ticks <= 0) {
        std::fprintf(stderr, "tray_poll_bench: the number of ticks must be a positive integer\n");
        return 2;
    }

    status_block::StatusPublisher publisher;
    status_block::StatusPublisher::Options options;
    options.initial.statusWord = kStatusOnLine;
    status_block::CreateError error = publisher.Create(options);
    if (error.failed()) {
        std::fprintf(stderr, "tray_poll_bench: cannot publish the status block: %s\n", error.Describe().c_str());
        return 1;
    }

    AcceptingShell accepting;
    auto stubbedShell = std::make_unique<ScopedSeam<TrayShellApi>>(accepting);
    auto* frame = new CMainFrame;  // deleted with its window
    if (!frame->LoadFrame(IDR_MAINFRAME, WS_POPUP | WS_DISABLED)) {
        std::fprintf(stderr, "tray_poll_bench: cannot create the agent window\n");
        return 1;
    }
    HWND window = frame->GetSafeHwnd();
    frame->KillTimer(kPollTimerId);  // ticks come from here only

    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V3_SIZE;
    record.hWnd = window;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = WM_TRAYNOTIFY;

    std::printf("%d ticks each, status word %u, %s build\n\n", ticks, kStatusOnLine,
                sizeof(void*) == 8 ? "x86_64" : "i686");
    Report("Tray call answered by a no-op stand-in (the shell not measured):",
           Measure(window, record, false, ticks));

    // The real Shell_NotifyIconA, which under Wine sends the request to the
    // first "Shell_TrayWnd" window: here a fake tray on its own thread.
    try {
        fake_tray::FakeTray tray;
        tray.KeepRecords(false);
        stubbedShell.reset();
        // The new tray holds no icon yet: the agent adds its own on the
        // next tick, as after a shell restart.
        ::SendMessageA(window, ::RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        record.hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_ON_LINE));
        ::Shell_NotifyIconA(NIM_ADD, &record);
        std::printf("\n");
        Report("Live Shell_NotifyIconA, into a fake tray window on another thread:",
               Measure(window, record, true, ticks));
    } catch (std::exception const& failure) {
        std::printf("\nlive shell not measured: %s\n", failure.what());
    }

    stubbedShell.reset();
    ::DestroyWindow(window);
    return 0;
}
