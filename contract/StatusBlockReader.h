// Reading the shared status block that the monitoring service publishes:
// open both objects by name, take the mutex with a bounded wait, copy the
// words, let go of everything. Nothing stays open between two reads.
#pragma once

#include <windows.h>

#include "contract/StatusBlock.h"
#include "contract/StatusRecord.h"

struct StatusBlockRead {
    enum Outcome {
        kMissing,  // the mapping or the mutex could not be opened
        kBusy,     // the writer kept the mutex, or the view could not be mapped
        kRead,     // `words` holds the block
    };
    Outcome outcome = kMissing;
    StatusSnapshot words;
};

int const kStatusLockAttempts = 5;
DWORD const kStatusLockAttemptMs = 100;

// The mutex is released before this returns, so whatever the caller does
// next (call the shell) never runs while the writer is locked out.
StatusBlockRead ReadStatusBlock();

// The same read, and the service's record of its last reading after the
// words when there is one (a block of kRead without it: `hasRecord` false).
struct StatusRecordRead {
    StatusBlockRead block;
    bool hasRecord = false;
    ReadingRecord record;
};
StatusRecordRead ReadStatusBlockWithRecord();
