// The source a set of settings asks for.
#pragma once

#include <memory>

#include "service/feed/UpsSource.h"
#include "service/settings/ServiceSettings.h"

namespace vandrel {

// Settings that do not validate get a source that reports no connection. A
// NUT source logs in when the shutdown is on and a login user is set, with
// the password from StoredPassword.h.
std::unique_ptr<UpsSource> MakeSource(ServiceSettings const& settings);

// For settings the service cannot use: word 4, never a simulation.
std::unique_ptr<UpsSource> MakeUnusableSettingsSource();

}  // namespace vandrel
