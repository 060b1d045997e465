// What this process's token says about administrator rights, for
// DecideSaveRight.
#pragma once

#include "configurator/ConfigForm.h"

namespace dellomark {

// The right to save as this process stands.
SaveRight CurrentSaveRight();

}  // namespace dellomark
