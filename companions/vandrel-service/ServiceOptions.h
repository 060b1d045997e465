// The simulation a service instance runs, chosen at install time and carried
// in the service's binary path as ordinary arguments.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "companions/vandrel-service/UpsSource.h"

namespace vandrel {

char const kServiceName[] = "Vandrel Service";

uint32_t const kDefaultStatusWord = 3;  // on line, battery normal
uint32_t const kMaxDelayMs = 600000;
uint32_t const kMinScriptStepMs = 10;
uint32_t const kMaxScriptStepMs = 3600000;
size_t const kMaxScriptWords = 64;

struct ServiceOptions {
    uint32_t statusWord = kDefaultStatusWord;
    std::vector<uint32_t> script;  // non-empty: cycle through these instead
    uint32_t scriptStepMs = 0;
    uint32_t stopDelayMs = 0;      // extra time spent in STOP_PENDING
    uint32_t startDelayMs = 0;     // extra time spent in START_PENDING
};

// Parses [--status N | --script N,N,N@ms] [--stop-delay-ms N] [--start-delay-ms N].
// Returns an empty string on success, else what is wrong; `out` is only
// written on success.
std::string ParseServiceOptions(std::vector<std::string> const& args, ServiceOptions& out);

// The same options as arguments, as ParseServiceOptions reads them back.
std::string FormatServiceArguments(ServiceOptions const& options);

// The command line the Service Control Manager runs: the quoted executable
// path followed by the options.
std::string BuildBinaryPath(std::string const& executable, ServiceOptions const& options);

std::unique_ptr<UpsSource> MakeSource(ServiceOptions const& options);

}  // namespace vandrel
