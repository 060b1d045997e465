// One configuration dialog per session: the agent's menu can start the
// program again while its dialog is open, and two dialogs saving over each
// other would only confuse.
#pragma once

#include <windows.h>

#include "win32/UniqueHandle.h"

namespace dellomark {

class InstanceClaim {
public:
    InstanceClaim();
    // False when another instance holds the claim.
    bool First() const { return first_; }

private:
    UniqueKernelHandle mutex_;
    bool first_ = false;
};

// Finds the first instance's dialog (waiting up to `waitMs` while it is
// still being made), restores it if minimised and brings it to the front.
// False when no dialog showed up.
bool BringFirstInstanceForward(DWORD waitMs);

}  // namespace dellomark
