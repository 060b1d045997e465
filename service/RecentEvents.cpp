#include "service/RecentEvents.h"

#include <windows.h>

#include <cwchar>
#include <mutex>

#include "contract/ServiceContract.h"
#include "win32/UniqueHandle.h"

namespace vandrel {
namespace {

wchar_t const kRecentEventsValue[] = L"RecentEvents";
DWORD const kMaxValueBytes = 64 * 1024;

// One writer at a time within the service: each takes the list, adds to it
// and puts it back.
std::mutex g_recordLock;

std::wstring UtcNow() {
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

std::wstring ReadValue() {
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::wstring();
    DWORD size = 0;
    if (::RegGetValueW(key.get(), nullptr, kRecentEventsValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0 || size > kMaxValueBytes)
        return std::wstring();
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (::RegGetValueW(key.get(), nullptr, kRecentEventsValue, RRF_RT_REG_MULTI_SZ, nullptr, &value[0], &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    value.resize(size / sizeof(wchar_t));
    return value;
}

}  // namespace

wchar_t const* EventKindName(ServiceEvent event) {
    switch (event) {
    case ServiceEvent::Started: return L"Started";
    case ServiceEvent::Stopped: return L"Stopped";
    case ServiceEvent::OnBattery: return L"OnBattery";
    case ServiceEvent::PowerBack: return L"PowerBack";
    case ServiceEvent::BatteryLow: return L"BatteryLow";
    case ServiceEvent::CommunicationLost: return L"CommunicationLost";
    case ServiceEvent::CommunicationBack: return L"CommunicationBack";
    case ServiceEvent::SettingsUnusable: return L"SettingsUnusable";
    case ServiceEvent::LoginRefused: return L"LoginRefused";
    case ServiceEvent::ShutdownInitiated: return L"ShutdownInitiated";
    case ServiceEvent::ShutdownCancelled: return L"ShutdownCancelled";
    case ServiceEvent::ShutdownRefused: return L"ShutdownRefused";
    case ServiceEvent::LinkRefused: return L"LinkRefused";
    case ServiceEvent::LoginInClear: return L"LoginInClear";
    case ServiceEvent::ReplaceBattery: return L"ReplaceBattery";
    case ServiceEvent::ForcedShutdown: return L"ForcedShutdown";
    case ServiceEvent::NoCommunication: return L"NoCommunication";
    case ServiceEvent::EventCommandFailed: return L"EventCommandFailed";
    }
    return L"Unknown";
}

std::vector<std::wstring> WithNewest(std::vector<std::wstring> entries, std::wstring const& entry) {
    entries.insert(entries.begin(), entry);
    if (entries.size() > kMaxRecentEvents) entries.resize(kMaxRecentEvents);
    return entries;
}

std::wstring FormatRecentEvent(RecentEvent const& event) {
    std::wstring text = event.text;
    // One line each: the list is read line by line.
    for (wchar_t& c : text)
        if (c == L'\t' || c == L'\r' || c == L'\n' || c == L'\0') c = L' ';
    return event.when + L'\t' + event.kind + L'\t' + text;
}

bool ParseRecentEvent(std::wstring const& line, RecentEvent& out) {
    size_t const first = line.find(L'\t');
    size_t const second = first == std::wstring::npos ? first : line.find(L'\t', first + 1);
    if (second == std::wstring::npos || first == 0 || second == first + 1) return false;
    out = {line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)};
    return true;
}

std::vector<std::wstring> SplitMultiString(std::wstring const& value) {
    std::vector<std::wstring> entries;
    size_t begin = 0;
    while (begin < value.size()) {
        size_t end = value.find(L'\0', begin);
        if (end == std::wstring::npos) end = value.size();
        if (end == begin) break;  // the empty string that ends the list
        entries.push_back(value.substr(begin, end - begin));
        begin = end + 1;
    }
    return entries;
}

std::wstring JoinMultiString(std::vector<std::wstring> const& entries) {
    std::wstring value;
    for (std::wstring const& entry : entries) value += entry + L'\0';
    return value + L'\0';
}

void RecordRecentEvent(ServiceEvent event, std::wstring const& text) {
    std::lock_guard<std::mutex> lock(g_recordLock);
    std::wstring const entry = FormatRecentEvent({UtcNow(), EventKindName(event), text});
    std::wstring const value = JoinMultiString(WithNewest(SplitMultiString(ReadValue()), entry));
    UniqueRegistryKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStateKeyPath, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
    ::RegSetValueExW(key.get(), kRecentEventsValue, 0, REG_MULTI_SZ, reinterpret_cast<BYTE const*>(value.data()),
                     static_cast<DWORD>(value.size() * sizeof(wchar_t)));
}

std::vector<RecentEvent> ReadRecentEvents() {
    std::vector<RecentEvent> events;
    for (std::wstring const& line : SplitMultiString(ReadValue())) {
        RecentEvent event;
        if (ParseRecentEvent(line, event)) events.push_back(std::move(event));
    }
    return events;
}

}  // namespace vandrel
