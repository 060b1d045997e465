// VandrelService: a stand-in for the product's UPS monitoring service. It
// registers as "Vandrel Service" and publishes a simulated UPS state in the
// shared status block while it runs.
#include <cstdio>
#include <string>
#include <vector>

#include "companions/vandrel-service/Installer.h"
#include "companions/vandrel-service/ServiceHost.h"
#include "companions/vandrel-service/ServiceOptions.h"

namespace {

char const kUsage[] =
    "usage: VandrelService install [--status N | --script N,N,N@ms] [--stop-delay-ms N] [--start-delay-ms N]\n"
    "       VandrelService uninstall\n"
    "       VandrelService console [same options as install]\n"
    "       VandrelService [run] [options]    (how the Service Control Manager starts it)\n"
    "  --status N         publish status word N (default 3)\n"
    "  --script W,W@ms    cycle through the words, each held for ms\n"
    "  --stop-delay-ms N  stay in STOP_PENDING for N ms when stopped\n"
    "  --start-delay-ms N stay in START_PENDING for N ms when started\n";

int UsageError(std::string const& message) {
    std::fprintf(stderr, "VandrelService: %s\n%s", message.c_str(), kUsage);
    return vandrel::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string command = "run";
    // The Service Control Manager starts us with the options alone.
    if (!args.empty() && args.front().compare(0, 2, "--") != 0) {
        command = args.front();
        args.erase(args.begin());
    }
    if (command == "help" || command == "/?" || (args.size() == 1 && args.front() == "--help")) {
        std::fputs(kUsage, stdout);
        return vandrel::kExitOk;
    }
    if (command == "uninstall") {
        if (!args.empty()) return UsageError("uninstall takes no options");
        return vandrel::Uninstall();
    }
    if (command != "install" && command != "console" && command != "run")
        return UsageError("unknown command \"" + command + "\"");

    vandrel::ServiceOptions options;
    std::string const error = vandrel::ParseServiceOptions(args, options);
    if (!error.empty()) return UsageError(error);
    if (command == "install") return vandrel::Install(options);
    if (command == "console") return vandrel::RunInConsole(options);
    return vandrel::RunAsService(options);
}
