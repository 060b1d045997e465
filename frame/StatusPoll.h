// What each tick's read of the status block makes the tray show.
#pragma once

#include "contract/StatusBlock.h"
#include "contract/StatusBlockReader.h"

// Anyone who may open the block's mutex can also keep it, and the service
// then cannot write: past this many failed reads in a row the last word read
// is no longer the UPS's state, and the tray says the link is lost. Fewer
// (a writer busy for a moment) leave it as it is.
int const kBusyTicksUntilCommunicationLost = 10;

struct StatusFollower {
    StatusSnapshot shown;  // what the tray shows
    int busyTicks = 0;     // failed reads since the last good or missing one

    // Takes one tick's read. True when the tray must show `shown` now.
    bool Follow(StatusBlockRead const& read);
};
