#include "frame/StatusPresentation.h"

#include "contract/StatusBlock.h"
#include "res/resource.h"

#include <algorithm>

std::optional<StatusPresentation> PresentationFor(std::uint32_t statusWord) {
    switch (statusWord) {
    case kWordServiceStopped: return StatusPresentation{IDI_AGENT_STOP, {kMsgAgentStop, 0}, 1, 0};
    case kWordOnBattery: return StatusPresentation{IDI_ON_BATTERY, {kMsgAcFail, kMsgBatteryNormal}, 2, 1};
    case kWordBatteryLow: return StatusPresentation{IDI_ON_BATTERY, {kMsgOnLine, kMsgBatteryLow}, 2, 1};
    case kWordOnLine: return StatusPresentation{IDI_ON_LINE, {kMsgOnLine, kMsgBatteryNormal}, 2, 1};
    case kWordNoConnection: return StatusPresentation{IDI_COMMUNICATION_LOST, {kMsgCommunicationLost, 0}, 1, 1};
    default: return std::nullopt;
    }
}

UINT MessageTextId(UINT code) {
    switch (code) {
    case kMsgCommunicationLost: return IDS_COMMUNICATION_LOST;
    case kMsgOnLine: return IDS_ON_LINE;
    case kMsgBatteryNormal: return IDS_BATTERY_NORMAL;
    case kMsgCommunicationNormal: return IDS_COMMUNICATION_NORMAL;
    case kMsgAcFail: return IDS_AC_FAIL;
    case kMsgBatteryLow: return IDS_BATTERY_LOW;
    case kMsgAgentStop: return IDS_AGENT_STOP;
    default: return IDS_ON_LINE;
    }
}

std::string JoinTooltip(std::string const& first, std::string const* second) {
    if (second == nullptr) return first;
    return first + " " + *second;
}

size_t TooltipFitLength(std::string const& text, size_t fieldSize, UINT codePage) {
    if (fieldSize == 0) return 0;
    size_t const limit = std::min(fieldSize - 1, text.size());
    size_t length = 0;
    while (length < limit) {
        // A lead byte goes with its trail byte or not at all; one whose trail
        // byte is missing from the text is dropped as well.
        size_t width = ::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[length])) ? 2 : 1;
        if (length + width > limit) break;
        length += width;
    }
    return length;
}
