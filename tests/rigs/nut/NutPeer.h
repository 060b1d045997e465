// The test side of tests/rigs/nut/nut-peer.sh: a real upsd and dummy-ups
// on the Linux host (and NUT's upsmon as the UPS's primary when a test runs
// "start-primary"), started by a ctest fixture (nut_peer_fixture() in
// this folder's CMakeLists.txt), which passes where it is through the
// environment:
//   PERIMAND_NUT_PEER_SCRIPT  the script, as a host path
//   PERIMAND_NUT_PEER_DIR     the peer's private folder, as a host path
//   PERIMAND_NUT_PEER_PORT    upsd's port on 127.0.0.1
//   PERIMAND_NUT_SILENT_PORT  a listener that accepts and never answers
//   PERIMAND_NUT_CLOSED_PORT  a port nothing listens on
// Its UPS is "testups", serving OL with battery.charge 100 after Reset().
#pragma once

#include <cstdint>
#include <string>

#include "nut/NutClient.h"

namespace nut_peer {

nut::UpsAddress Address();                   // testups@127.0.0.1:<peer port>
nut::UpsAddress SilentAddress();             // testups@127.0.0.1:<silent port>
nut::UpsAddress ClosedAddress();             // testups@127.0.0.1:<closed port>

// Runs "nut-peer.sh <command> <dir> <arguments>" on the host and waits for
// it. Wine starts a host program without giving back a process handle, so
// the script's exit code comes back through a file in the peer's folder.
// Throws std::runtime_error with the script's message when it fails.
void Run(std::string const& command, std::string const& arguments = std::string());

// What clients have sent the silent server since the last call.
std::string TakeSilentServerReceived();

// The bytes the silent server answers STARTTLS with from now on, until
// Reset(); by default it refuses as a upsd without certificates does.
void SetSilentServerStartTlsAnswer(std::string const& bytes);

// Whether the peer's folder holds `name` ("primary-shutdown", which the
// primary's shutdown command creates), and its text ("upsmon.log"), empty
// when there is none.
bool HasFile(std::string const& name);
std::string FileText(std::string const& name);
std::string FilePath(std::string const& name);  // as a Windows path

// Back to a running driver and upsd serving OL, charge 100, with no
// primary and no forced shutdown.
inline void Reset() { Run("reset"); }

}  // namespace nut_peer
