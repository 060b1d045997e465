// What the tray shows for each status word: pure decisions, no system calls
// beyond the code page's lead-byte table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// Small codes from which tooltips are assembled.
enum MessageCode : UINT {
    kMsgCommunicationLost = 0x11,
    kMsgOnLine = 0x20,
    kMsgBatteryNormal = 0x21,
    kMsgCommunicationNormal = 0x22,
    kMsgAcFail = 0x23,
    kMsgBatteryLow = 0x24,
    kMsgAgentStop = 0x25,
};

struct StatusPresentation {
    UINT iconId;
    UINT codes[2];
    int codeCount;      // 1 or 2
    int agentRunning;   // what the agent takes the service's state to be
};

// The row for a status word from 0 to 4; nothing for 5 and above, which
// leave the tray as it is.
std::optional<StatusPresentation> PresentationFor(std::uint32_t statusWord);

// The string id of a message code; unknown codes read "On Line".
UINT MessageTextId(UINT code);

// One text, or two joined by a blank.
std::string JoinTooltip(std::string const& first, std::string const* second);

// Bytes of `text` that fit in a tooltip field of `fieldSize` bytes with its
// terminating zero, never ending between the two bytes of a double-byte
// character of `codePage`.
size_t TooltipFitLength(std::string const& text, size_t fieldSize, UINT codePage);
