// What one poll costs the monitoring service: the CPU (user + kernel) and
// memory of `VandrelService.exe console --nut ...` feeding the status block
// from a NUT server, beside a bare loop of the same calls: one persistent
// connection, one "LIST VAR <ups>" per poll read to its END (what NutMonitor
// asks), ups.status and battery.charge taken from it, and one publish into a
// named mapping and mutex of its own, at the same interval.
//
// Each loop runs as a child process, one at a time, and is measured from
// outside over a window of whole polls: the window opens and closes just
// after a publish (word 0, the write count, moves), so CPU per poll is the
// child's user + kernel time over the window divided by the writes it made
// in it (GetProcessTimes; under Wine, see ChildCpu).
// The loops take turns, round after round, and the medians are compared.
//
// The bare loop is this program's second mode; its flags build variants that
// step from the bare calls towards the service's way of making them:
//   --vars 1|2      GET VAR ups.status (and battery.charge) instead of the list
//   --sliced        non-blocking socket, select() in 50 ms slices with a stop
//                   check between them (the service's Session::WaitFor)
//   --worker        polls on a worker thread that waits on two events
//                   between polls (the service's StatusFeed)
//   --monitor       the service's own NUT client (NutMonitor::Poll) and
//                   nothing else of the service
//   --tls-ca FILE   with --monitor: TLS required (STARTTLS), the server's
//                   certificate issued by the CA in FILE (PEM) and naming
//                   --tls-name (default localhost)
//
// Given --tls-ca, the parent also runs the plain NutMonitor and the one over
// TLS, and prints TLS per poll beside plain and bare. The session stays open
// across polls, so the handshake falls in the warm-up and the window sees
// only sealed requests and replies.
//
// Usage (run under Wine with a NUT server up; bench/CMakeLists.txt starts one):
//   service_poll_bench.exe --nut ups@host:port [--rounds 5] [--polls 20]
//                          [--poll-ms 500] [--variants] [--service PATH]
//                          [--tls-ca FILE [--tls-name NAME]]
//   service_poll_bench.exe bare --nut ups@host:port --poll-ms N --block NAME
//                          [--vars 1|2] [--sliced] [--worker] [--monitor]
//                          [--tls-ca FILE [--tls-name NAME]]
// FILE may be a host path ("/..."); under Wine it is read through Z:.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "contract/StatusBlock.h"
#include "nut/NutClient.h"
#include "nut/NutMonitor.h"
#include "nut/NutSession.h"  // the socket's owner
#include "nut/TlsPolicy.h"
#include "win32/UniqueHandle.h"

namespace {

using UniqueSocket = UniqueHandle<nut::handle_traits::Socket>;


constexpr int kDefaultRounds = 5;
constexpr int kDefaultPolls = 20;
constexpr DWORD kDefaultPollMs = 500;  // the service's shortest interval
constexpr std::uint32_t kWarmUpPolls = 3;  // connected, first allocations made
constexpr DWORD kReplyTimeoutMs = 3000;
constexpr DWORD kSliceMs = 50;
constexpr DWORD kWriteTimeoutMs = 1000;
constexpr DWORD kBlockWaitMs = 15000;  // the child's start and first polls
// The rig's certificate names localhost, and Wine matches DNS names only;
// the address stays 127.0.0.1, as for the loops in clear.
char const* const kDefaultTlsName = "localhost";
constexpr double kTlsGoal = 1.3;  // TLS per poll against plain, at most

// ---------------------------------------------------------------------------
// The bare loop (child mode).

struct BareOptions {
    nut::UpsAddress ups;
    DWORD pollMs = kDefaultPollMs;
    std::string block;  // mapping name; the mutex is the same plus ".lock"
    int vars = 0;  // 0: LIST VAR; 1 or 2: that many GET VARs
    bool sliced = false;
    bool worker = false;
    bool monitor = false;
    nut::TlsPolicy tls;  // --monitor only; mode Off: in clear
};

std::uint32_t WordForStatus(char const* status) {
    if (std::strstr(status, "LB") != nullptr || std::strstr(status, "FSD") != nullptr) return kWordBatteryLow;
    if (std::strstr(status, "OB") != nullptr) return kWordOnBattery;
    if (std::strstr(status, "OL") != nullptr) return kWordOnLine;
    return kWordNoConnection;
}

class BareLoop {
public:
    explicit BareLoop(BareOptions const& options) : options_(options) {}

    bool OpenBlock() {
        mapping_.reset(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kStatusBlockSize,
                                            options_.block.c_str()));
        mutex_.reset(::CreateMutexA(nullptr, FALSE, (options_.block + ".lock").c_str()));
        if (!mapping_ || !mutex_) return false;
        view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, 0));
        return static_cast<bool>(view_);
    }

    // One poll: ask, publish.
    void Poll(HANDLE stop) {
        std::uint32_t status = kWordNoConnection;
        std::uint32_t charge = 0;
        if (options_.monitor) {
            nut::UpsReading const reading = monitor_.Poll(stop);
            SayWhenFailureChanges(reading.failure);
            status = reading.statusWord;
            charge = reading.charge > 0 ? static_cast<std::uint32_t>(reading.charge) : 0;
        } else {
            char value[128];
            char chargeValue[16] = "0";
            if (options_.vars == 0) {
                if ((socket_ || Connect()) && List(value, sizeof value, chargeValue, sizeof chargeValue, stop)) {
                    status = WordForStatus(value);
                    charge = static_cast<std::uint32_t>(std::atoi(chargeValue));
                }
            } else if ((socket_ || Connect()) && Ask("ups.status", value, sizeof value, stop)) {
                status = WordForStatus(value);
                if (options_.vars > 1 && Ask("battery.charge", value, sizeof value, stop))
                    charge = static_cast<std::uint32_t>(std::atoi(value));
            }
        }
        Publish(status, charge);
    }

private:
    // The parent sees only word 4; this says why (a refused link...).
    void SayWhenFailureChanges(std::string const& failure) {
        if (failure == lastFailure_) return;
        lastFailure_ = failure;
        if (!failure.empty()) std::fprintf(stderr, "service_poll_bench: bare: %s\n", failure.c_str());
    }

    bool Connect() {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        std::string const port = std::to_string(options_.ups.port);
        if (::getaddrinfo(options_.ups.host.c_str(), port.c_str(), &hints, &found) != 0) return false;
        socket_.reset(::socket(found->ai_family, found->ai_socktype, found->ai_protocol));
        bool connected = socket_ && ::connect(socket_.get(), found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
        ::freeaddrinfo(found);
        if (connected && options_.sliced) {
            u_long nonBlocking = 1;
            connected = ::ioctlsocket(socket_.get(), FIONBIO, &nonBlocking) == 0;
        } else if (connected) {
            DWORD timeout = kReplyTimeoutMs;
            ::setsockopt(socket_.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char const*>(&timeout), sizeof timeout);
        }
        if (!connected) socket_.reset();
        pending_ = 0;
        return connected;
    }

    // As Session::WaitFor: short selects, the stop event checked between.
    bool WaitReadable(ULONGLONG deadline, HANDLE stop) {
        for (;;) {
            if (::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return false;
            ULONGLONG const now = ::GetTickCount64();
            if (now >= deadline) return false;
            timeval timeout{};
            timeout.tv_usec = static_cast<long>(std::min<ULONGLONG>(deadline - now, kSliceMs) * 1000);
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(socket_.get(), &ready);
            fd_set failed;
            FD_ZERO(&failed);
            FD_SET(socket_.get(), &failed);
            int const count = ::select(0, &ready, nullptr, &failed, &timeout);
            if (count == SOCKET_ERROR) return false;
            if (count > 0) return true;
        }
    }

    bool Send(char const* request, int length) {
        return ::send(socket_.get(), request, length, 0) == length || Fail();
    }

    // The next reply line into `line` (its newline dropped).
    bool ReadLine(char* line, size_t size, ULONGLONG deadline, HANDLE stop) {
        for (;;) {
            if (char* end = static_cast<char*>(std::memchr(buffer_, '\n', pending_))) {
                size_t const used = end + 1 - buffer_;
                if (used > size) return Fail();
                std::memcpy(line, buffer_, used - 1);
                line[used - 1] = '\0';
                std::memmove(buffer_, end + 1, pending_ - used);
                pending_ -= used;
                return true;
            }
            if (pending_ == sizeof buffer_) return Fail();
            int const count = ::recv(socket_.get(), buffer_ + pending_, static_cast<int>(sizeof buffer_ - pending_), 0);
            if (count > 0) {
                pending_ += static_cast<size_t>(count);
                continue;
            }
            if (count < 0 && options_.sliced && ::WSAGetLastError() == WSAEWOULDBLOCK &&
                WaitReadable(deadline, stop))
                continue;
            return Fail();
        }
    }

    // What is between the quotes of a VAR line.
    static bool QuotedValue(char const* line, char* value, size_t size) {
        char const* open = std::strchr(line, '"');
        char const* close = std::strrchr(line, '"');
        if (open == nullptr || close <= open || static_cast<size_t>(close - open) > size) return false;
        std::memcpy(value, open + 1, close - open - 1);
        value[close - open - 1] = '\0';
        return true;
    }

    bool Ask(char const* var, char* value, size_t size, HANDLE stop) {
        char request[160];
        int const length = std::snprintf(request, sizeof request, "GET VAR %s %s\n", options_.ups.upsName.c_str(), var);
        char line[512];
        return Send(request, length) && ReadLine(line, sizeof line, ::GetTickCount64() + kReplyTimeoutMs, stop) &&
               QuotedValue(line, value, size);
    }

    // One LIST VAR, read to its END; ups.status into `status`, battery.charge
    // (when listed) into `charge`.
    bool List(char* status, size_t statusSize, char* charge, size_t chargeSize, HANDLE stop) {
        std::string const& ups = options_.ups.upsName;
        std::string const request = "LIST VAR " + ups + "\n";
        std::string const statusHead = "VAR " + ups + " ups.status ";
        std::string const chargeHead = "VAR " + ups + " battery.charge ";
        std::string const end = "END LIST VAR " + ups;
        if (!Send(request.data(), static_cast<int>(request.size()))) return false;
        ULONGLONG const deadline = ::GetTickCount64() + kReplyTimeoutMs;
        bool gotStatus = false;
        char line[512];
        while (ReadLine(line, sizeof line, deadline, stop)) {
            if (end == line) return gotStatus;
            if (std::strncmp(line, statusHead.c_str(), statusHead.size()) == 0)
                gotStatus = QuotedValue(line, status, statusSize);
            else if (std::strncmp(line, chargeHead.c_str(), chargeHead.size()) == 0)
                QuotedValue(line, charge, chargeSize);
        }
        return false;
    }

    bool Fail() {
        socket_.reset();
        return false;
    }

    void Publish(std::uint32_t status, std::uint32_t charge) {
        DWORD const wait = ::WaitForSingleObject(mutex_.get(), kWriteTimeoutMs);
        if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return;
        MutexLock const lock(mutex_.get());
        std::uint32_t* words = static_cast<std::uint32_t*>(const_cast<void*>(view_.get()));
        words[1] = status;
        words[2] = charge;
        words[0] = ++writes_;
    }

    BareOptions const& options_;
    nut::NutMonitor monitor_{options_.ups, nut::Credentials(), options_.tls};  // --monitor only; idle otherwise
    std::string lastFailure_;
    UniqueSocket socket_;
    char buffer_[512];
    size_t pending_ = 0;
    UniqueKernelHandle mapping_;
    UniqueKernelHandle mutex_;
    UniqueMappedView view_;
    std::uint32_t writes_ = 0;
};

struct Worker {
    BareLoop* loop;
    DWORD pollMs;
    HANDLE quit;
    HANDLE wake;
};

// As StatusFeed::Run: poll, check the quit event, wait on quit and wake.
DWORD WINAPI WorkerLoop(void* context) {
    Worker const& worker = *static_cast<Worker*>(context);
    HANDLE const waits[] = {worker.quit, worker.wake};
    for (;;) {
        worker.loop->Poll(worker.quit);
        if (::WaitForSingleObject(worker.quit, 0) == WAIT_OBJECT_0) return 0;
        DWORD const woke = ::WaitForMultipleObjects(2, waits, FALSE, worker.pollMs);
        if (woke != WAIT_OBJECT_0 + 1 && woke != WAIT_TIMEOUT) return 0;
    }
}

// Runs until the parent ends the process, as the service's console mode.
int RunBare(BareOptions const& options) {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
    BareLoop loop(options);
    if (!loop.OpenBlock()) {
        std::fprintf(stderr, "service_poll_bench: cannot create the block %s\n", options.block.c_str());
        return 1;
    }
    UniqueKernelHandle quit(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    UniqueKernelHandle wake(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!quit || !wake) return 1;
    if (!options.worker) {
        for (;;) {
            loop.Poll(quit.get());
            ::Sleep(options.pollMs);
        }
    }
    Worker worker{&loop, options.pollMs, quit.get(), wake.get()};
    UniqueKernelHandle thread(::CreateThread(nullptr, 0, &WorkerLoop, &worker, 0, nullptr));
    if (!thread) return 1;
    ::WaitForSingleObject(quit.get(), INFINITE);
    return 0;
}

// ---------------------------------------------------------------------------
// The measuring parent.

struct Contender {
    std::string name;
    std::string program;
    std::string arguments;
    bool service = false;
    std::string block;        // the bare loop's mapping
};

struct Sample {
    bool ok = false;
    double cpuMsPerPoll = 0;
    double wallMsPerPoll = 0;
    double workingSetKb = 0;
    double peakWorkingSetKb = 0;
    double privateKb = 0;
    std::uint32_t statusWord = 0;
    std::string failure;
};

double FileTimeMs(FILETIME const& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

std::string ReadWholeFile(std::string const& path) {
    UniqueFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    std::string text;
    if (!file) return text;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    return text;
}

// The build passes host paths; Wine shows the host's root as Z:.
std::string ReadablePath(std::string const& path) {
    if (!UnderWine() || path.empty() || path[0] != '/') return path;
    std::string converted = "Z:" + path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}

// TLS required, the server's certificate issued by the CA in `caPath` and
// naming `serverName`. Empty on success, else why not.
std::string RequireTlsWithCa(std::string const& caPath, std::string const& serverName, nut::TlsPolicy& policy) {
    std::string const pem = ReadWholeFile(caPath);
    if (pem.empty()) return "cannot read the CA certificate " + caPath;
    std::string const bad = nut::ParseCertificatePem(pem, policy.caDer);
    if (!bad.empty()) return caPath + ": " + bad;
    policy.mode = nut::TlsMode::Require;
    policy.check = nut::TlsCheck::Ca;
    policy.serverName = serverName;
    return std::string();
}

// Under Wine 8, GetProcessTimes of another process answers with the
// caller's own times, and GetThreadTimes counts whole 10 ms ticks, too
// coarse for a poll of under a millisecond. There the child's threads' run
// time comes from the Linux kernel's schedstat (nanoseconds), read through
// Wine's Z: drive; the child is found by a marker in its argv[0], which Wine
// keeps in the Linux process's command line and the programs ignore.
class ChildCpu {
public:
    ChildCpu(HANDLE process, std::string marker) : process_(process), marker_(std::move(marker)) {}

    // Under Wine, finds the child's Linux process; call once it runs.
    void Find() {
        if (!UnderWine() || FromKernel()) return;
        WIN32_FIND_DATAA found;
        UniqueFindHandle const search(::FindFirstFileA("Z:\\proc\\*", &found));
        if (!search) return;
        do {
            char const* name = found.cFileName;
            if (*name < '0' || *name > '9') continue;
            std::string const commandLine = ReadWholeFile(std::string("Z:\\proc\\") + name + "\\cmdline");
            if (commandLine.find(marker_) != std::string::npos) {
                unixProcess_ = std::string("Z:\\proc\\") + name;
                break;
            }
        } while (::FindNextFileA(search.get(), &found));
    }

    bool FromKernel() const { return !unixProcess_.empty(); }

    // User + kernel time so far, in ms; negative when it cannot be had.
    double Ms() const {
        if (FromKernel()) {
            double total = 0;
            WIN32_FIND_DATAA found;
            UniqueFindHandle const search(::FindFirstFileA((unixProcess_ + "\\task\\*").c_str(), &found));
            if (!search) return -1;
            do {
                if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
                std::string const line = ReadWholeFile(unixProcess_ + "\\task\\" + found.cFileName + "\\schedstat");
                total += std::strtod(line.c_str(), nullptr) / 1e6;
            } while (::FindNextFileA(search.get(), &found));
            return total;
        }
        FILETIME created, exited, kernel, user;
        if (!::GetProcessTimes(process_, &created, &exited, &kernel, &user)) return -1;
        return FileTimeMs(kernel) + FileTimeMs(user);
    }

private:
    HANDLE process_;
    std::string marker_;
    std::string unixProcess_;
};

// The block's words, read without its lock: word 0 is one aligned word
// that only grows, which is all the window needs.
std::uint32_t ReadWord(void const* view, int index) {
    return static_cast<std::uint32_t volatile const*>(view)[index];
}

// Waits until word 0 reaches `target` (a publish just happened), checking
// every 2 ms so the window's edges sit close to the child's writes.
bool WaitForWrites(void const* view, std::uint32_t target, HANDLE process, DWORD limitMs) {
    ULONGLONG const end = ::GetTickCount64() + limitMs;
    while (ReadWord(view, 0) < target) {
        if (::GetTickCount64() > end || ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return false;
        ::Sleep(2);
    }
    return true;
}

Sample Measure(Contender const& contender, int polls, DWORD pollMs) {
    Sample sample;
    static int children = 0;
    std::string const marker =
        "poll-bench-child-" + std::to_string(::GetCurrentProcessId()) + "." + std::to_string(++children);
    std::string command = "\"" + marker + "\" " + contender.arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // The service says one line when it starts; it would land in our table.
    UniqueFileHandle nul(::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = nul.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessA(contender.program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &started)) {
        sample.failure = "cannot start " + command + " (error " + std::to_string(::GetLastError()) + ")";
        return sample;
    }
    UniqueKernelHandle process(started.hProcess);
    UniqueKernelHandle thread(started.hThread);
    ChildCpu cpu(process.get(), marker);

    char const* const blockName = contender.service ? kStatusMappingName : contender.block.c_str();
    UniqueKernelHandle mapping;
    ULONGLONG const giveUp = ::GetTickCount64() + kBlockWaitMs;
    while (!(mapping = UniqueKernelHandle(::OpenFileMappingA(FILE_MAP_READ, FALSE, blockName)))) {
        if (::GetTickCount64() > giveUp || ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) break;
        ::Sleep(10);
    }
    UniqueMappedView view(mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    DWORD const limit = kBlockWaitMs + static_cast<DWORD>(polls + kWarmUpPolls) * (pollMs + kReplyTimeoutMs);
    if (view) cpu.Find();
    if (!view) {
        sample.failure = "no block from " + contender.name;
    } else if (UnderWine() && !cpu.FromKernel()) {
        sample.failure = "cannot find " + contender.name + " in Z:\\proc";
    } else if (!WaitForWrites(view.get(), kWarmUpPolls, process.get(), limit)) {
        sample.failure = contender.name + " did not publish";
    } else {
        // Open the window at a write, close it `polls` writes later.
        std::uint32_t const first = ReadWord(view.get(), 0) + 1;
        if (WaitForWrites(view.get(), first, process.get(), limit)) {
            std::uint32_t const opened = ReadWord(view.get(), 0);
            double const cpuBefore = cpu.Ms();
            ULONGLONG const wallBefore = ::GetTickCount64();
            if (WaitForWrites(view.get(), opened + polls, process.get(), limit)) {
                std::uint32_t const closed = ReadWord(view.get(), 0);
                double const cpuAfter = cpu.Ms();
                ULONGLONG const wallAfter = ::GetTickCount64();
                PROCESS_MEMORY_COUNTERS memory{};
                memory.cb = sizeof memory;
                ::GetProcessMemoryInfo(process.get(), &memory, sizeof memory);
                double const made = static_cast<double>(closed - opened);
                sample.ok = cpuBefore >= 0 && cpuAfter >= 0;
                sample.cpuMsPerPoll = (cpuAfter - cpuBefore) / made;
                sample.wallMsPerPoll = static_cast<double>(wallAfter - wallBefore) / made;
                sample.workingSetKb = static_cast<double>(memory.WorkingSetSize) / 1024.0;
                sample.peakWorkingSetKb = static_cast<double>(memory.PeakWorkingSetSize) / 1024.0;
                sample.privateKb = static_cast<double>(memory.PagefileUsage) / 1024.0;
                sample.statusWord = ReadWord(view.get(), 1);
            }
        }
        if (!sample.ok) sample.failure = contender.name + " stopped publishing";
    }
    // The console run ends only at Ctrl+C, which a child without a console
    // of its own cannot be sent; nothing of either loop outlives its process.
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), 5000);
    return sample;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t const middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string ThisProgram() {
    char path[MAX_PATH];
    DWORD const length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, length);
}

// The build puts the service at <build>\service and this
// program at <build>\bench.
std::string DefaultServicePath(std::string const& program) {
    std::string folder = program.substr(0, program.find_last_of("\\/"));
    folder = folder.substr(0, folder.find_last_of("\\/"));
    return folder + "\\service\\VandrelService.exe";
}

int Usage(char const* problem) {
    std::fprintf(stderr, "service_poll_bench: %s (usage: see the top of bench/ServicePollBenchmark.cpp)\n", problem);
    return 2;
}

bool PositiveNumber(char const* text, long long minimum, long long maximum, long long& out) {
    char* end = nullptr;
    long long const value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || value < minimum || value > maximum) return false;
    out = value;
    return true;
}

int RunParent(std::vector<std::string> const& args) {
    std::string nutText;
    std::string service;
    long long rounds = kDefaultRounds;
    long long polls = kDefaultPolls;
    long long pollMs = kDefaultPollMs;
    bool variants = false;
    std::string tlsCa;
    std::string tlsName = kDefaultTlsName;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& arg = args[i];
        bool const hasValue = i + 1 < args.size();
        if (arg == "--variants") {
            variants = true;
        } else if (arg == "--nut" && hasValue) {
            nutText = args[++i];
        } else if (arg == "--tls-ca" && hasValue) {
            tlsCa = ReadablePath(args[++i]);
        } else if (arg == "--tls-name" && hasValue) {
            tlsName = args[++i];
        } else if (arg == "--service" && hasValue) {
            service = args[++i];
        } else if (arg == "--rounds" && hasValue) {
            if (!PositiveNumber(args[++i].c_str(), 1, 50, rounds)) return Usage("--rounds takes 1 to 50");
        } else if (arg == "--polls" && hasValue) {
            if (!PositiveNumber(args[++i].c_str(), 2, 1000, polls)) return Usage("--polls takes 2 to 1000");
        } else if (arg == "--poll-ms" && hasValue) {
            // The service's own bounds.
            if (!PositiveNumber(args[++i].c_str(), 500, 60000, pollMs)) return Usage("--poll-ms takes 500 to 60000");
        } else {
            return Usage(("unknown or incomplete option " + arg).c_str());
        }
    }
    nut::UpsAddress address;
    if (nutText.empty()) return Usage("--nut ups@host:port is required");
    std::string const bad = nut::ParseUpsAddress(nutText, address);
    if (!bad.empty()) return Usage(bad.c_str());

    std::string const program = ThisProgram();
    if (service.empty()) service = DefaultServicePath(program);
    if (::GetFileAttributesA(service.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Usage(("no service at " + service + " (--service PATH)").c_str());
    // Checked here once, so a bad file stops the run before any child starts.
    bool const tls = !tlsCa.empty();
    nut::TlsPolicy parsed;
    std::string const badTls = tls ? RequireTlsWithCa(tlsCa, tlsName, parsed) : std::string();
    if (!badTls.empty()) return Usage(badTls.c_str());

    std::string const ms = std::to_string(pollMs);
    std::string const bareBlock = "Local\\PerimandPollBench" + std::to_string(::GetCurrentProcessId());
    auto bare = [&](char const* name, std::string const& flags) {
        return Contender{name, program, "bare --nut " + nutText + " --poll-ms " + ms + " --block " + bareBlock + flags, false,
                         bareBlock};
    };
    std::vector<Contender> contenders = {
        // In clear, as the bare loop: by default the service would take the
        // STARTTLS the rig's upsd offers.
        {"service (console)", service, "console --nut " + nutText + " --poll-ms " + ms + " --tls off", true, ""},
        bare("bare loop, same calls", ""),
    };
    if (variants) {
        contenders.push_back(bare("bare, GET VAR ups.status only", " --vars 1"));
        contenders.push_back(bare("bare, two GET VARs", " --vars 2"));
        contenders.push_back(bare("bare, 50 ms select slices", " --sliced"));
        contenders.push_back(bare("bare, slices + worker", " --sliced --worker"));
    }
    size_t const plainMonitor = contenders.size();
    if (variants || tls) contenders.push_back(bare("NutMonitor::Poll + publish", " --monitor"));
    if (variants) contenders.push_back(bare("NutMonitor + worker", " --monitor --worker"));
    size_t const tlsMonitor = contenders.size();
    if (tls) {
        std::string const tlsFlags = " --monitor --tls-ca \"" + tlsCa + "\" --tls-name " + tlsName;
        contenders.push_back(bare("NutMonitor::Poll over TLS", tlsFlags));
    }

    std::printf("%s, %lld rounds x %lld polls at %lld ms, UPS %s, %s build\n", service.c_str(), rounds, polls,
                pollMs, nutText.c_str(), sizeof(void*) == 8 ? "x86_64" : "i686");
    std::printf("CPU from %s; memory from GetProcessMemoryInfo\n",
                UnderWine() ? "the kernel's schedstat of the child's threads (Wine)" : "GetProcessTimes");
    if (tls) std::printf("TLS: STARTTLS required, CA from %s, server name %s\n", tlsCa.c_str(), tlsName.c_str());
    std::printf("%-28s %5s %10s %10s %9s %9s %9s %5s\n", "", "round", "cpu ms/poll", "wall ms", "ws KiB",
                "peak KiB", "priv KiB", "word");
    std::fflush(stdout);
    std::vector<std::vector<Sample>> samples(contenders.size());
    for (long long round = 0; round < rounds; ++round) {
        // Alternate the order, so drift on a shared machine falls on all alike.
        for (size_t k = 0; k < contenders.size(); ++k) {
            size_t const which = round % 2 ? contenders.size() - 1 - k : k;
            Sample const sample = Measure(contenders[which], static_cast<int>(polls),
                                          static_cast<DWORD>(pollMs));
            if (!sample.ok) {
                std::fprintf(stderr, "service_poll_bench: %s\n", sample.failure.c_str());
                return 1;
            }
            // A loop that cannot reach the server measures something else.
            if (sample.statusWord == kWordNoConnection || sample.statusWord == kWordServiceStopped) {
                std::fprintf(stderr, "service_poll_bench: %s published word %u, not a reading of %s\n",
                             contenders[which].name.c_str(), sample.statusWord, nutText.c_str());
                return 1;
            }
            samples[which].push_back(sample);
            std::printf("%-28s %5lld %10.3f %10.1f %9.0f %9.0f %9.0f %5u\n", contenders[which].name.c_str(), round + 1,
                        sample.cpuMsPerPoll, sample.wallMsPerPoll, sample.workingSetKb, sample.peakWorkingSetKb,
                        sample.privateKb, sample.statusWord);
            std::fflush(stdout);
        }
    }

    auto median = [&](size_t which, double Sample::*field) {
        std::vector<double> values;
        for (Sample const& sample : samples[which]) values.push_back(sample.*field);
        return Median(values);
    };
    double const bareCpu = median(1, &Sample::cpuMsPerPoll);
    double const bareWs = median(1, &Sample::workingSetKb);
    double const barePeak = median(1, &Sample::peakWorkingSetKb);
    std::printf("\nmedians                      cpu ms/poll  ratio   ws KiB  ratio  peak KiB  ratio   cpu range\n");
    for (size_t which = 0; which < contenders.size(); ++which) {
        double const cpu = median(which, &Sample::cpuMsPerPoll);
        double const ws = median(which, &Sample::workingSetKb);
        double const peak = median(which, &Sample::peakWorkingSetKb);
        auto const range = std::minmax_element(samples[which].begin(), samples[which].end(),
                                               [](Sample const& a, Sample const& b) {
                                                   return a.cpuMsPerPoll < b.cpuMsPerPoll;
                                               });
        std::printf("%-28s %11.3f %6.2f %8.0f %6.2f %9.0f %6.2f  %.3f-%.3f\n", contenders[which].name.c_str(), cpu,
                    bareCpu > 0 ? cpu / bareCpu : 0.0, ws, ws / bareWs, peak, peak / barePeak,
                    range.first->cpuMsPerPoll, range.second->cpuMsPerPoll);
    }
    std::printf("(ratios against \"bare loop, same calls\")\n");
    if (tls) {
        double const tlsCpu = median(tlsMonitor, &Sample::cpuMsPerPoll);
        double const plainCpu = median(plainMonitor, &Sample::cpuMsPerPoll);
        std::printf("\nTLS against plain            cpu ms/poll  plain ms/poll  bare ms/poll  TLS/bare  TLS/plain\n");
        std::printf("%-28s %11.3f %14.3f %13.3f %9.2f %10.2f\n", contenders[tlsMonitor].name.c_str(), tlsCpu, plainCpu,
                    bareCpu, bareCpu > 0 ? tlsCpu / bareCpu : 0.0, plainCpu > 0 ? tlsCpu / plainCpu : 0.0);
        std::printf("(plain: \"%s\"; goal TLS/plain %.2f or less)\n", contenders[plainMonitor].name.c_str(), kTlsGoal);
    }
    return 0;
}

int RunBareFromArgs(std::vector<std::string> const& args) {
    BareOptions options;
    std::string nutText;
    std::string tlsCa;
    std::string tlsName = kDefaultTlsName;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& arg = args[i];
        bool const hasValue = i + 1 < args.size();
        long long number = 0;
        if (arg == "--nut" && hasValue) {
            nutText = args[++i];
        } else if (arg == "--block" && hasValue) {
            options.block = args[++i];
        } else if (arg == "--poll-ms" && hasValue && PositiveNumber(args[i + 1].c_str(), 1, 60000, number)) {
            options.pollMs = static_cast<DWORD>(number);
            ++i;
        } else if (arg == "--vars" && hasValue && PositiveNumber(args[i + 1].c_str(), 1, 2, number)) {
            options.vars = static_cast<int>(number);
            ++i;
        } else if (arg == "--sliced") {
            options.sliced = true;
        } else if (arg == "--worker") {
            options.worker = true;
        } else if (arg == "--monitor") {
            options.monitor = true;
        } else if (arg == "--tls-ca" && hasValue) {
            tlsCa = ReadablePath(args[++i]);
        } else if (arg == "--tls-name" && hasValue) {
            tlsName = args[++i];
        } else {
            return Usage(("bare: unknown or incomplete option " + arg).c_str());
        }
    }
    if (options.block.empty()) return Usage("bare: --block NAME is required");
    std::string const badTls = tlsCa.empty() ? std::string() : RequireTlsWithCa(tlsCa, tlsName, options.tls);
    if (!badTls.empty()) return Usage(("bare: " + badTls).c_str());
    std::string const bad = nut::ParseUpsAddress(nutText, options.ups);
    if (!bad.empty()) return Usage(("bare: " + bad).c_str());
    return RunBare(options);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "bare") return RunBareFromArgs({args.begin() + 1, args.end()});
    return RunParent(args);
}
