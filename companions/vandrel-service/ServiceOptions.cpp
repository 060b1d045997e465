#include "companions/vandrel-service/ServiceOptions.h"

#include "companions/common/Arguments.h"

namespace vandrel {
namespace {

std::string ParseBounded(std::string const& option, std::string const& text, uint32_t min, uint32_t max,
                         uint32_t& value) {
    uint32_t parsed = 0;
    if (!companions::ParseUint32(text.c_str(), parsed) || parsed < min || parsed > max) {
        return "invalid value \"" + text + "\" for " + option + " (expected " + std::to_string(min) + ".." +
               std::to_string(max) + ")";
    }
    value = parsed;
    return {};
}

// "1,2,3@500"
std::string ParseScript(std::string const& text, std::vector<uint32_t>& words, uint32_t& stepMs) {
    std::string const bad = "invalid script \"" + text + "\" (expected words and a step time, e.g. 3,1,2@2000)";
    size_t const at = text.find('@');
    if (at == std::string::npos || at == 0) return bad;
    std::vector<uint32_t> parsed;
    size_t begin = 0;
    while (begin <= at) {
        size_t end = text.find(',', begin);
        if (end == std::string::npos || end > at) end = at;
        uint32_t word = 0;
        if (!companions::ParseUint32(text.substr(begin, end - begin).c_str(), word)) return bad;
        parsed.push_back(word);
        begin = end + 1;
    }
    if (parsed.size() > kMaxScriptWords) return "script has more than " + std::to_string(kMaxScriptWords) + " words";
    std::string const error = ParseBounded("the script step", text.substr(at + 1), kMinScriptStepMs,
                                           kMaxScriptStepMs, stepMs);
    if (!error.empty()) return error;
    words = std::move(parsed);
    return {};
}

}  // namespace

std::string ParseServiceOptions(std::vector<std::string> const& args, ServiceOptions& out) {
    ServiceOptions options;
    bool sawStatus = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string const& option = args[i];
        bool const known = option == "--status" || option == "--script" || option == "--stop-delay-ms" ||
                           option == "--start-delay-ms";
        if (!known) return "unknown argument \"" + option + "\"";
        if (i + 1 >= args.size()) return "missing value after " + option;
        std::string const& value = args[++i];
        std::string error;
        if (option == "--status") {
            error = ParseBounded(option, value, 0, UINT32_MAX, options.statusWord);
            sawStatus = true;
        } else if (option == "--script") {
            error = ParseScript(value, options.script, options.scriptStepMs);
        } else if (option == "--stop-delay-ms") {
            error = ParseBounded(option, value, 0, kMaxDelayMs, options.stopDelayMs);
        } else {
            error = ParseBounded(option, value, 0, kMaxDelayMs, options.startDelayMs);
        }
        if (!error.empty()) return error;
    }
    if (sawStatus && !options.script.empty()) return "--status and --script exclude each other";
    out = options;
    return {};
}

std::string FormatServiceArguments(ServiceOptions const& options) {
    std::string text;
    if (options.script.empty()) {
        text = "--status " + std::to_string(options.statusWord);
    } else {
        text = "--script ";
        for (size_t i = 0; i < options.script.size(); ++i) {
            if (i != 0) text += ',';
            text += std::to_string(options.script[i]);
        }
        text += '@' + std::to_string(options.scriptStepMs);
    }
    if (options.stopDelayMs != 0) text += " --stop-delay-ms " + std::to_string(options.stopDelayMs);
    if (options.startDelayMs != 0) text += " --start-delay-ms " + std::to_string(options.startDelayMs);
    return text;
}

std::string BuildBinaryPath(std::string const& executable, ServiceOptions const& options) {
    // Quoted, or a path with blanks would be split by the Service Control Manager.
    return "\"" + executable + "\" " + FormatServiceArguments(options);
}

std::unique_ptr<UpsSource> MakeSource(ServiceOptions const& options) {
    if (!options.script.empty()) return std::make_unique<ScriptedUpsSource>(options.script, options.scriptStepMs);
    return std::make_unique<FixedUpsSource>(options.statusWord);
}

}  // namespace vandrel
