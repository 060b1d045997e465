// The monitoring service as the other programs know it: its name with the
// Service Control Manager and where its registry keys are (relative to
// HKEY_LOCAL_MACHINE). The agent, the service, the configuration program,
// setup (through generated defines) and the tests agree on these.
#pragma once

inline constexpr char kServiceName[] = "Vandrel Service";
inline constexpr char kServiceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vandrel Service";
// The settings it reads (service/settings/ServiceSettings.h).
inline constexpr char kParametersKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vandrel Service\\Parameters";
// What the running service leaves for its status command.
inline constexpr char kStateKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vandrel Service\\State";
// The NUT login's password, protected (service/settings/StoredPassword.h).
inline constexpr char kCredentialsKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\Vandrel Service\\Credentials";
// Where the Windows Event Log finds the texts of its events.
inline constexpr char kEventSourceKeyPath[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Vandrel Service";
