#include "app/StopCommand.h"

namespace {

constexpr char kStopWord[] = "stop";

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool IsStopCommand(char const* commandLine, UINT codePage) {
    if (commandLine == nullptr) return false;
    char const* p = commandLine;
    for (char const* want = kStopWord; *want != '\0'; ++want) {
        // A lead byte starts a two-byte character, which is no letter.
        if (*p == '\0' || ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*p))) return false;
        if (LowerAscii(*p) != *want) return false;
        ++p;
    }
    return *p == '\0';
}
