// The status area's reads, off the dialog's thread: the block's mutex may be
// held for a while by its writer, and the dialog must keep answering. One
// read at a time; a tick that finds one running is skipped.
#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "configurator/BackgroundJob.h"
#include "contract/StatusBlockReader.h"
#include "service/RecentEvents.h"

namespace dellomark {

struct StatusSample {
    StatusRecordRead read;
    std::vector<vandrel::RecentEvent> events;
};

class StatusWatch {
public:
    // `message` goes to `target` when the read is done.
    bool Start(HWND target, UINT message);
    std::optional<StatusSample> Take() { return job_.Take(); }
    void Abandon(DWORD waitMs) { job_.Abandon(waitMs); }

private:
    BackgroundJob<StatusSample> job_;
};

}  // namespace dellomark
