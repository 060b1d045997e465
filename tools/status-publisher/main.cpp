// upsstatus-publish: publishes a chosen status word in the shared status block
// until stopped, so the agent can be watched without the monitoring service.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "contract/StatusPublisher.h"
#include "win32/Arguments.h"
#include "win32/UniqueHandle.h"
#include "win32/Win32Error.h"

namespace {

int const kExitOk = 0;
int const kExitFailed = 1;
int const kExitUsage = 2;

DWORD const kRewriteIntervalMs = 1000;
DWORD const kWriteTimeoutMs = 1000;
uint32_t const kMaxHoldMs = 2000000000;  // below INFINITE, so every wait ends
uint32_t const kMaxSeconds = 2000000;    // its milliseconds still fit a DWORD
DWORD const kCloseGraceMs = 3000;

char const kUsage[] =
    "usage: upsstatus-publish <statusWord 0..4294967295> [--word0 N] [--word2 N]\n"
    "                         [--hold-mutex-ms N] [--seconds N] [--stop-event NAME]\n"
    "  Publishes the status block \"Global\\SHARINGUPSSTATUS\" (mutex\n"
    "  \"Global\\UpsStatusSyncFileMap\") until Ctrl+C, --seconds have passed, or the\n"
    "  named event is signalled.\n"
    "  --hold-mutex-ms N  the block appears with its mutex held, for N ms\n";

struct Options {
    StatusSnapshot words;
    uint32_t holdMs = 0;
    uint32_t seconds = 0;  // 0: until stopped
    std::string stopEvent;
};

// Set by Ctrl+C or console close; the console handler runs on its own thread.
UniqueKernelHandle g_stopRequested;
UniqueKernelHandle g_finished;

BOOL WINAPI OnConsoleControl(DWORD type) {
    ::SetEvent(g_stopRequested.get());
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // The process dies when this returns: let main close the block first.
        ::WaitForSingleObject(g_finished.get(), kCloseGraceMs);
    }
    return TRUE;
}

int UsageError(std::string const& message) {
    std::fprintf(stderr, "upsstatus-publish: %s\n%s", message.c_str(), kUsage);
    return kExitUsage;
}

// Returns an empty string on success, else what is wrong.
std::string ParseNumber(char const* option, char const* text, uint32_t max, uint32_t& value) {
    uint32_t parsed = 0;
    if (!win32::ParseUint32(text, parsed) || parsed > max) {
        return std::string("invalid value \"") + text + "\" for " + option + " (expected 0.." +
               std::to_string(max) + ")";
    }
    value = parsed;
    return {};
}

std::string ParseOptions(int argc, char** argv, Options& options) {
    if (argc < 2) return "missing status word";
    std::string error = ParseNumber("the status word", argv[1], UINT32_MAX, options.words.statusWord);
    if (!error.empty()) return error;
    for (int i = 2; i < argc; ++i) {
        char const* option = argv[i];
        bool const known = !std::strcmp(option, "--word0") || !std::strcmp(option, "--word2") ||
                           !std::strcmp(option, "--hold-mutex-ms") || !std::strcmp(option, "--seconds") ||
                           !std::strcmp(option, "--stop-event");
        if (!known) return std::string("unknown argument \"") + option + "\"";
        if (i + 1 >= argc) return std::string("missing value after ") + option;
        char const* value = argv[++i];
        if (!std::strcmp(option, "--word0"))
            error = ParseNumber(option, value, UINT32_MAX, options.words.word0);
        else if (!std::strcmp(option, "--word2"))
            error = ParseNumber(option, value, UINT32_MAX, options.words.word2);
        else if (!std::strcmp(option, "--hold-mutex-ms"))
            error = ParseNumber(option, value, kMaxHoldMs, options.holdMs);
        else if (!std::strcmp(option, "--seconds"))
            error = ParseNumber(option, value, kMaxSeconds, options.seconds);
        else if (*value == '\0')
            error = "empty name for --stop-event";
        else
            options.stopEvent = value;
        if (!error.empty()) return error;
    }
    return {};
}

// Waits for a stop request for at most `ms`; true if one came.
bool WaitForStop(HANDLE const* events, DWORD count, DWORD ms) {
    return ::WaitForMultipleObjects(count, events, FALSE, ms) != WAIT_TIMEOUT;
}

// The process-wide events Ctrl+C sets and main signals when done, and the
// caller's named stop event when asked for. False, with the message
// printed, when one cannot be made.
bool MakeStopEvents(std::string const& stopEventName, UniqueKernelHandle& namedStop) {
    if (!stopEventName.empty()) {
        // Opens the event when the caller made it first, creates it otherwise.
        namedStop.reset(::CreateEventA(nullptr, TRUE, FALSE, stopEventName.c_str()));
        if (!namedStop) {
            std::fprintf(stderr, "upsstatus-publish: cannot create the stop event \"%s\": %s\n",
                         stopEventName.c_str(), win32::DescribeWin32Error(::GetLastError()).c_str());
            return false;
        }
    }
    g_stopRequested.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    g_finished.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!g_stopRequested || !g_finished) {
        std::fprintf(stderr, "upsstatus-publish: %s\n", win32::DescribeWin32Error(::GetLastError()).c_str());
        return false;
    }
    return true;
}

// Holds the mutex first when asked, then rewrites the block each second
// until a stop event or the end of --seconds.
void PublishUntilStopped(status_block::StatusPublisher& publisher, Options const& options, HANDLE const* stopEvents,
                         DWORD stopCount) {
    ULONGLONG const start = ::GetTickCount64();
    ULONGLONG const runMs = static_cast<ULONGLONG>(options.seconds) * 1000;
    auto remaining = [&](DWORD atMost) -> DWORD {
        if (options.seconds == 0) return atMost;
        ULONGLONG const elapsed = ::GetTickCount64() - start;
        if (elapsed >= runMs) return 0;
        ULONGLONG const left = runMs - elapsed;
        return left < atMost ? static_cast<DWORD>(left) : atMost;
    };

    bool stopped = false;
    if (options.holdMs > 0) {
        stopped = WaitForStop(stopEvents, stopCount, remaining(options.holdMs));
        publisher.ReleaseHold();
    }
    while (!stopped) {
        DWORD const wait = remaining(kRewriteIntervalMs);
        if (options.seconds != 0 && wait == 0) break;
        stopped = WaitForStop(stopEvents, stopCount, wait);
        // Rewriting keeps the block's lock traffic like the service's.
        if (!stopped) publisher.Write(options.words, kWriteTimeoutMs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
                      !std::strcmp(argv[1], "/?"))) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    Options options;
    std::string const error = ParseOptions(argc, argv, options);
    if (!error.empty()) return UsageError(error);

    UniqueKernelHandle namedStop;
    if (!MakeStopEvents(options.stopEvent, namedStop)) return kExitFailed;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    HANDLE const stopEvents[] = {g_stopRequested.get(), namedStop.get()};
    DWORD const stopCount = namedStop ? 2 : 1;

    status_block::StatusPublisher publisher;
    status_block::StatusPublisher::Options publish;
    publish.initial = options.words;
    publish.holdMutex = options.holdMs > 0;
    status_block::CreateError const created = publisher.Create(publish);
    if (created.failed()) {
        std::fprintf(stderr, "upsstatus-publish: %s\n", created.Describe().c_str());
        return kExitFailed;
    }
    std::printf("publishing status word %lu (word 0 = %lu, word 2 = %lu); Ctrl+C stops\n",
                static_cast<unsigned long>(options.words.statusWord),
                static_cast<unsigned long>(options.words.word0), static_cast<unsigned long>(options.words.word2));
    std::fflush(stdout);

    PublishUntilStopped(publisher, options, stopEvents, stopCount);
    publisher.Close();
    ::SetEvent(g_finished.get());
    return kExitOk;
}
