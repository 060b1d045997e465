#include "service/notify/PowerNotices.h"

#include <algorithm>

namespace vandrel {
namespace {

struct Named {
    ServiceEvent event;
    NotifyType type;
    char const* name;
};
Named const kNotifyTypes[] = {
    {ServiceEvent::PowerBack, NotifyType::Online, "ONLINE"},
    {ServiceEvent::OnBattery, NotifyType::OnBatt, "ONBATT"},
    {ServiceEvent::BatteryLow, NotifyType::LowBatt, "LOWBATT"},
    {ServiceEvent::ForcedShutdown, NotifyType::Fsd, "FSD"},
    {ServiceEvent::CommunicationBack, NotifyType::CommOk, "COMMOK"},
    {ServiceEvent::CommunicationLost, NotifyType::CommBad, "COMMBAD"},
    {ServiceEvent::ShutdownInitiated, NotifyType::Shutdown, "SHUTDOWN"},
    {ServiceEvent::ReplaceBattery, NotifyType::ReplBatt, "REPLBATT"},
    {ServiceEvent::NoCommunication, NotifyType::NoComm, "NOCOMM"},
};

struct NoticeText {
    ServiceEvent event;
    wchar_t const* english;
    wchar_t const* japanese;
};
NoticeText const kNotices[] = {
    {ServiceEvent::OnBattery, L"The mains power failed: the UPS is running on battery.",
     L"停電しました。UPS はバッテリーで動作しています。"},
    {ServiceEvent::PowerBack, L"The mains power is back.", L"電源が復旧しました。"},
    {ServiceEvent::BatteryLow, L"The UPS battery is low. Save your work.",
     L"UPS のバッテリー残量が少なくなっています。作業中のデータを保存してください。"},
    {ServiceEvent::CommunicationLost, L"The UPS cannot be reached: its state is unknown.",
     L"UPS と通信できません。UPS の状態は不明です。"},
    {ServiceEvent::CommunicationBack, L"The UPS can be reached again.", L"UPS との通信が回復しました。"},
    {ServiceEvent::ReplaceBattery, L"The UPS battery needs replacing.", L"UPS のバッテリーの交換が必要です。"},
};

bool Told(ServiceEvent event) {
    return std::any_of(std::begin(kNotices), std::end(kNotices),
                       [event](NoticeText const& notice) { return notice.event == event; });
}

}  // namespace

std::optional<NotifyType> NotifyTypeOf(ServiceEvent event) {
    for (Named const& named : kNotifyTypes)
        if (named.event == event) return named.type;
    return std::nullopt;
}

char const* NotifyTypeName(NotifyType type) {
    for (Named const& named : kNotifyTypes)
        if (named.type == type) return named.name;
    return "";
}

std::vector<ServiceEvent> PowerNotices::Take(std::vector<ServiceEvent> const& events, uint64_t nowMs) {
    std::vector<ServiceEvent> tell;
    for (ServiceEvent const event : events) {
        if (!Told(event)) continue;
        if (event == ServiceEvent::OnBattery) {
            failedAtMs_ = nowMs;
            continue;
        }
        if (event == ServiceEvent::PowerBack && failedAtMs_) {
            failedAtMs_.reset();  // a blip: neither is told
            continue;
        }
        if (event == ServiceEvent::PowerBack && !failureTold_) continue;
        if (event == ServiceEvent::PowerBack) failureTold_ = false;
        if (event == ServiceEvent::BatteryLow && failedAtMs_) failedAtMs_ = nowMs - kPowerBlipMs;
        tell.push_back(event);
    }
    if (failedAtMs_ && nowMs - *failedAtMs_ >= kPowerBlipMs) {
        tell.insert(tell.begin(), ServiceEvent::OnBattery);
        failedAtMs_.reset();
        failureTold_ = true;
    }
    return tell;
}

SessionWarning NoticeFor(LANGID uiLanguage, ServiceEvent event) {
    bool const japanese = PRIMARYLANGID(uiLanguage) == LANG_JAPANESE;
    for (NoticeText const& notice : kNotices)
        if (notice.event == event) return {L"UPS", japanese ? notice.japanese : notice.english};
    return {L"UPS", L""};
}

}  // namespace vandrel
