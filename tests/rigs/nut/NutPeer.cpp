#include "tests/rigs/nut/NutPeer.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/rigs/e2e/Process.h"
#include "tests/rigs/e2e/TempFolder.h"

namespace nut_peer {
namespace {

DWORD const kScriptLimitMs = 120000;  // the script bounds its own waits to 30 s each
DWORD const kResultPollMs = 50;

std::string Environment(char const* name) {
    char const* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(std::string(name) + " is not set: run this test through ctest");
    }
    return value;
}

nut::UpsAddress OnPort(char const* variable) {
    return nut::UpsAddress{"testups", "127.0.0.1", static_cast<std::uint16_t>(std::stoi(Environment(variable)))};
}

std::string ReadFile(std::string const& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

std::string FilePath(std::string const& name) {
    return e2e::HostPathToWindows(Environment("PERIMAND_NUT_PEER_DIR") + "/" + name);
}

nut::UpsAddress Address() { return OnPort("PERIMAND_NUT_PEER_PORT"); }
nut::UpsAddress SilentAddress() { return OnPort("PERIMAND_NUT_SILENT_PORT"); }
nut::UpsAddress ClosedAddress() { return OnPort("PERIMAND_NUT_CLOSED_PORT"); }

std::string TakeSilentServerReceived() {
    std::string const path = FilePath("silent.received");
    std::string const received = ReadFile(path);
    ::DeleteFileA(path.c_str());
    return received;
}

void SetSilentServerStartTlsAnswer(std::string const& bytes) {
    // Written whole under another name, then renamed: the server may read it any time.
    std::string const path = FilePath("silent.starttls");
    {
        std::ofstream file(path + ".new", std::ios::binary | std::ios::trunc);
        file << bytes;
    }
    if (!::MoveFileExA((path + ".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool HasFile(std::string const& name) {
    return ::GetFileAttributesA(FilePath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FileText(std::string const& name) { return ReadFile(FilePath(name)); }

void Run(std::string const& command, std::string const& arguments) {
    std::string const script = Environment("PERIMAND_NUT_PEER_SCRIPT");
    std::string const dir = Environment("PERIMAND_NUT_PEER_DIR");
    std::string const result = dir + "/action.rc";
    std::string const log = dir + "/action.log";
    std::string const windowsResult = e2e::HostPathToWindows(result);
    ::DeleteFileA(windowsResult.c_str());

    // Wine hands a command line for a host program to it split the Windows
    // way: the shell's script is one double-quoted argument, so the
    // arguments inside use single quotes. Wine gives no handle to wait on
    // for a host program: the result file, which appears whole, says when
    // the script is done.
    std::string const shell = " -c \"PATH=/usr/sbin:/usr/bin:/sbin:/bin; /bin/bash '" + script + "' " + command +
                              " '" + dir + "' " + arguments + " </dev/null >'" + log + "' 2>&1; echo $? >'" +
                              result + ".new'; mv '" + result + ".new' '" + result + "'\"";
    e2e::Process const started = e2e::Process::Start(e2e::HostPathToWindows("/bin/sh"), shell);

    for (DWORD waited = 0; ::GetFileAttributesA(windowsResult.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kResultPollMs) {
        if (waited >= kScriptLimitMs) throw std::runtime_error("nut-peer.sh " + command + " did not finish");
        ::Sleep(kResultPollMs);
    }
    std::string const code = ReadFile(windowsResult);
    if (std::atoi(code.c_str()) != 0) {
        throw std::runtime_error("nut-peer.sh " + command + " " + arguments + " failed: " +
                                 ReadFile(e2e::HostPathToWindows(log)));
    }
}

}  // namespace nut_peer
