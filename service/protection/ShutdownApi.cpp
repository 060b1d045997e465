#include "service/protection/ShutdownApi.h"

#include <powrprof.h>
#include <wtsapi32.h>

#include "win32/UniqueHandle.h"

namespace vandrel {
namespace {

// A warning is its lead (why), then what comes around the seconds.
struct WarningTexts {
    wchar_t const* criticalTitle;
    wchar_t const* criticalLead;
    wchar_t const* earlyTitle;
    wchar_t const* earlyLead;
    wchar_t const* shutdown[2];
    wchar_t const* hibernate[2];
};

WarningTexts const kEnglish = {
    L"UPS battery low",
    L"The UPS is running on battery and its battery is low. ",
    L"UPS on battery",
    L"The UPS is running on battery. ",
    {L"Windows shuts down in ", L" seconds. Save your work now."},
    {L"Windows hibernates in ", L" seconds."},
};

WarningTexts const kJapanese = {
    L"UPS のバッテリー残量低下",
    L"UPS はバッテリーで動作しており、バッテリーの残量が少なくなっています。",
    L"UPS のバッテリー運転",
    L"UPS はバッテリーで動作しています。",
    {L"Windows は ", L" 秒後にシャットダウンします。作業中のデータを今すぐ保存してください。"},
    {L"Windows は ", L" 秒後に休止状態に入ります。"},
};

using UniqueSessionList = UniqueHandle<handle_traits::NullOrClosedBy<WTS_SESSION_INFOW*, &::WTSFreeMemory>>;

// SeShutdownPrivilege, enabled for this scope only.
class ShutdownPrivilege {
public:
    ShutdownPrivilege() {
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.put()))
            enabled_ = Adjust(SE_PRIVILEGE_ENABLED);
    }
    ~ShutdownPrivilege() {
        if (enabled_) Adjust(0);
    }
    ShutdownPrivilege(ShutdownPrivilege const&) = delete;
    ShutdownPrivilege& operator=(ShutdownPrivilege const&) = delete;

private:
    bool Adjust(DWORD attributes) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = attributes;
        if (!::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) return false;
        // Success with ERROR_NOT_ALL_ASSIGNED means the token lacks it.
        return ::AdjustTokenPrivileges(token_.get(), FALSE, &privileges, 0, nullptr, nullptr) &&
               ::GetLastError() == ERROR_SUCCESS;
    }

    UniqueKernelHandle token_;
    bool enabled_ = false;
};

class SystemShutdown final : public ShutdownApi {
public:
    DWORD InitiateShutdown(DWORD graceSeconds, DWORD flags, DWORD reason) override {
        ShutdownPrivilege const privilege;
        return ::InitiateShutdownW(nullptr, nullptr, graceSeconds, flags, reason);
    }
    DWORD AbortShutdown() override {
        ShutdownPrivilege const privilege;
        return ::AbortSystemShutdownW(nullptr) ? ERROR_SUCCESS : ::GetLastError();
    }
    bool HibernateAllowed() override { return ::IsPwrHibernateAllowed() != FALSE; }
    DWORD Hibernate() override {
        ShutdownPrivilege const privilege;
        return ::SetSuspendState(TRUE, FALSE, FALSE) ? ERROR_SUCCESS : ::GetLastError();
    }
    LANGID UiLanguage() override { return ::GetSystemDefaultUILanguage(); }
    std::vector<DWORD> UserSessions() override {
        UniqueSessionList list;
        DWORD count = 0;
        std::vector<DWORD> sessions;
        if (!::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, list.put(), &count)) return sessions;
        // Session 0 holds services only; a disconnected session still has
        // its user, who sees the box on coming back.
        for (DWORD i = 0; i < count; ++i) {
            WTS_SESSION_INFOW const& session = list.get()[i];
            if (session.SessionId != 0 && (session.State == WTSActive || session.State == WTSDisconnected))
                sessions.push_back(session.SessionId);
        }
        return sessions;
    }
    bool SendSessionMessage(DWORD session, std::wstring const& title, std::wstring const& text,
                            DWORD timeoutSeconds) override {
        std::wstring titleBuffer = title;  // the call wants writable strings
        std::wstring textBuffer = text;
        DWORD response = 0;
        return ::WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, &titleBuffer[0],
                                 static_cast<DWORD>(titleBuffer.size() * sizeof(wchar_t)), &textBuffer[0],
                                 static_cast<DWORD>(textBuffer.size() * sizeof(wchar_t)), MB_OK | MB_ICONWARNING,
                                 timeoutSeconds, &response, FALSE) != FALSE;
    }
};

SystemShutdown g_systemShutdown;

}  // namespace

SessionWarning ShutdownWarning(LANGID uiLanguage, bool critical, bool hibernate, uint32_t seconds) {
    WarningTexts const& texts = PRIMARYLANGID(uiLanguage) == LANG_JAPANESE ? kJapanese : kEnglish;
    wchar_t const* const* around = hibernate ? texts.hibernate : texts.shutdown;
    std::wstring text = critical ? texts.criticalLead : texts.earlyLead;
    text += around[0] + std::to_wstring(seconds) + around[1];
    return {critical ? texts.criticalTitle : texts.earlyTitle, text};
}

}  // namespace vandrel

template <>
vandrel::ShutdownApi* Seam<vandrel::ShutdownApi>::current_ = &vandrel::g_systemShutdown;
