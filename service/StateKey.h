// What the running service tells its status command: a key of its own
// beside Parameters, which install creates so that LocalService may write
// it, and which only the service writes.
#pragma once

#include <cstdint>
#include <string>

#include "contract/ServiceContract.h"

namespace vandrel {

// Creates the key (install and config) under the service's, writable by
// the service's account; without the service's key, ERROR_FILE_NOT_FOUND.
unsigned long CreateStateKey();

// The service: writes of the block that failed since it started.
void WriteFailedWrites(uint32_t count);

// The status command: false when the service has not said.
bool ReadFailedWrites(uint32_t& count);

// The service: where its protection stands ("armed (critical, no login)").
void WriteShutdownLine(std::string const& line);

// The status command: false when the service has not said.
bool ReadShutdownLine(std::string& line);

}  // namespace vandrel
