// Names of the kernel objects through which the monitoring service
// publishes the UPS state. The mutex carries the name ending in "FileMap".
#pragma once

#include "StatusSnapshot.h"

constexpr char kStatusMappingName[] = "Global\\SHARINGUPSSTATUS";
constexpr char kStatusMutexName[] = "Global\\UpsStatusSyncFileMap";

// The agent reads the first three little-endian words and nothing beyond.
static_assert(sizeof(StatusSnapshot) == 12, "the block's three words");
