#include "configurator/StatusWatch.h"

namespace dellomark {

bool StatusWatch::Start(HWND target, UINT message) {
    StatusSample busy;
    busy.read.block.outcome = StatusBlockRead::kBusy;  // a failed read changes nothing shown
    return job_.Start(
        target, message,
        [] {
            StatusSample sample;
            sample.read = ReadStatusBlockWithRecord();
            sample.events = vandrel::ReadRecentEvents();
            return sample;
        },
        busy);
}

}  // namespace dellomark
