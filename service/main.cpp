// VandrelService: the UPS monitoring service. It registers as "Vandrel
// Service" and, while it runs, publishes the state of a UPS served by a NUT
// server (or a simulated one) in the shared status block.
#include <cstdio>
#include <string>
#include <vector>

#include "service/CommandLine.h"
#include "service/Commands.h"
#include "service/ServiceHost.h"

namespace {

char const kUsage[] =
    "usage: VandrelService install --nut ups@host[:port] [--poll-ms N] [--login USER --password-stdin]\n"
    "                              [protection]\n"
    "       VandrelService install [--simulate] [--status N | --script W,W@ms] [--stop-delay-ms N]\n"
    "                              [--start-delay-ms N] [protection]\n"
    "       VandrelService config  (the options of install; those not given keep their value)\n"
    "       VandrelService status\n"
    "       VandrelService uninstall\n"
    "       VandrelService start   (waits until the service runs)\n"
    "       VandrelService stop    (waits until it has stopped; exit 0 also when it was stopped\n"
    "                              already or is not installed)\n"
    "       VandrelService console [options of install]   (runs here until Ctrl+C)\n"
    "       VandrelService check [--nut ups@host[:port]] [options of install]\n"
    "                              (whether install would take them; prints the address as stored)\n"
    "  --nut ups@host[:port] read the UPS from the NUT server on host (port 3493 by default)\n"
    "  --poll-ms N           ask the server every N ms (500-60000, default 2000)\n"
    "  --tls off|try|require TLS to the server (STARTTLS): try uses it when offered, require never\n"
    "                        talks to a server without it (default try)\n"
    "  --tls-ca FILE         the server's certificate must come from this PEM CA (\"\" removes it)\n"
    "  --tls-pin SHA256      or be exactly the one with this SHA-256 fingerprint (\"\" removes it)\n"
    "  --tls-name NAME       the name its certificate must carry (default: the host)\n"
    "  --simulate            publish a simulated UPS instead\n"
    "  --status N            the simulated status word (default 3)\n"
    "  --script W,W@ms       cycle through the words, each held for ms\n"
    "  --stop-delay-ms N     stay in STOP_PENDING for N ms when stopped\n"
    "  --start-delay-ms N    stay in START_PENDING for N ms when started\n"
    "protection (shutting this PC down before the battery runs out):\n"
    "  --shutdown off|critical     critical: when the primary forces a shutdown, the battery is low\n"
    "                              or the server is lost on battery; never called off (default off)\n"
    "  --final-delay S             from a critical state to the power-off (0-15 s, default 5)\n"
    "  --hostsync S                battery low without a forced shutdown: wait S s for the primary\n"
    "                              before acting alone (1-600, default 15)\n"
    "  --on-battery-limit S        also after S seconds on battery (0-86400, default 0: never)\n"
    "  --charge-below PERCENT      also on battery below this charge (0-100, default 0: never)\n"
    "  --runtime-below S           also on battery below this runtime (0-86400, default 0: never)\n"
    "  --grace S                   these three: from the warning to the power-off, called off if\n"
    "                              the power returns meanwhile (0-600 s, default 30)\n"
    "  --action shutdown|hibernate what to do then (default shutdown)\n"
    "  --login USER                log in to the NUT server as this upsmon secondary of upsd.users,\n"
    "                              so the primary waits for this PC; used with --shutdown critical;\n"
    "                              \"\" removes the login\n"
    "  --password-stdin            read the login's password from one line of standard input\n"
    "                              (stored protected, never shown)\n"
    "events (either source):\n"
    "  --notify off|critical|all   tell the people logged on: of nothing, of a shutdown (default),\n"
    "                              or also of the power failing and back, a low battery, the server\n"
    "                              lost and back, a battery to replace\n"
    "  --on-event PATH             run this .exe, .cmd or .bat for each event, as upsmon's NOTIFYCMD:\n"
    "                              the message last, NOTIFYTYPE and UPSNAME in its environment;\n"
    "                              ended after 60 s; \"\" removes it\n"
    "install, config and uninstall need administrator rights.\n";

// One line, so the message is not lost above the usage text.
int UsageError(std::string const& message) {
    std::fprintf(stderr, "VandrelService: %s (\"VandrelService help\" shows the usage)\n", message.c_str());
    return vandrel::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    using vandrel::Command;
    vandrel::Invocation invocation;
    std::string const error = vandrel::ParseInvocation(std::vector<std::string>(argv + 1, argv + argc), invocation);
    if (!error.empty()) return UsageError(error);
    if (invocation.command == Command::Help) {
        std::fputs(kUsage, stdout);
        return vandrel::kExitOk;
    }
    // Before anything touches the Service Control Manager or the key.
    if (vandrel::NeedsAdministrator(invocation.command)) {
        std::string const refusal = vandrel::AdministratorRefusal(invocation.command, vandrel::IsAdministrator());
        if (!refusal.empty()) {
            std::fprintf(stderr, "VandrelService: %s\n", refusal.c_str());
            return vandrel::kExitFailed;
        }
    }
    switch (invocation.command) {
    case Command::Install: {
        vandrel::ServiceSettings settings;
        vandrel::PasswordRequest password = vandrel::PasswordRequest::Keep;
        std::string const bad = vandrel::ApplySettingsArguments(invocation.options, settings, password);
        if (!bad.empty()) return UsageError(bad);
        return vandrel::Install(settings, password);
    }
    case Command::Config:
        return vandrel::Configure(invocation.options);
    case Command::Status:
        return vandrel::PrintStatus();
    case Command::Uninstall:
        return vandrel::Uninstall();
    case Command::Start:
        return vandrel::Start();
    case Command::Stop:
        return vandrel::Stop();
    case Command::Check: {
        // On an upgrade the options go over what is stored, as config takes them.
        vandrel::ServiceSettings stored;
        vandrel::ReadServiceSettings(stored);
        std::string address;
        std::string const bad = vandrel::CheckArguments(invocation.options, stored, address);
        if (!bad.empty()) {
            std::fprintf(stderr, "VandrelService: %s\n", bad.c_str());
            return vandrel::kExitUsage;
        }
        if (!address.empty()) std::puts(address.c_str());
        return vandrel::kExitOk;
    }
    case Command::Console:
        return vandrel::RunInConsole(invocation.options);
    default:
        return vandrel::RunAsService(invocation.options);
    }
}
