#include "configurator/ConfigDlg.h"

#include <iterator>

#include "configurator/CaFile.h"
#include "configurator/Privileges.h"
#include "configurator/resource.h"
#include "configurator/ServiceRestart.h"
#include "configurator/StatusArea.h"
#include "win32/ScopeExit.h"
#include "win32/SecretString.h"
#include "framework/AfxString.h"
#include "service/settings/StoredPassword.h"
#include "win32/Win32Error.h"

namespace dellomark {

namespace {

int ErrorTextId(Field field) {
    switch (field) {
    case Field::UpsName: return IDC_UPS_NAME_ERROR;
    case Field::Host: return IDC_HOST_ERROR;
    case Field::Port: return IDC_PORT_ERROR;
    case Field::PollMs: return IDC_POLL_MS_ERROR;
    case Field::Certificate: return IDC_TLS_CERTIFICATE_ERROR;
    case Field::CertificateName: return IDC_TLS_NAME_ERROR;
    case Field::OnBatteryLimit: return IDC_ON_BATTERY_LIMIT_ERROR;
    case Field::ChargeBelow: return IDC_CHARGE_BELOW_ERROR;
    case Field::RuntimeBelow: return IDC_RUNTIME_BELOW_ERROR;
    case Field::Grace: return IDC_GRACE_ERROR;
    case Field::Login: return IDC_LOGIN_ERROR;
    case Field::Password: return IDC_PASSWORD_ERROR;
    }
    return IDC_STATUS_TEXT;
}

int const kErrorTextIds[] = {IDC_UPS_NAME_ERROR, IDC_HOST_ERROR, IDC_PORT_ERROR, IDC_POLL_MS_ERROR,
                             IDC_TLS_CERTIFICATE_ERROR, IDC_TLS_NAME_ERROR, IDC_ON_BATTERY_LIMIT_ERROR,
                             IDC_CHARGE_BELOW_ERROR, IDC_RUNTIME_BELOW_ERROR, IDC_GRACE_ERROR, IDC_LOGIN_ERROR,
                             IDC_PASSWORD_ERROR};
int const kServerFieldIds[] = {IDC_UPS_NAME,        IDC_HOST,       IDC_PORT,     IDC_POLL_MS,        IDC_TLS_MODE,
                               IDC_TLS_CERTIFICATE, IDC_TLS_BROWSE, IDC_TLS_NAME, IDC_TEST_CONNECTION};
int const kProtectionFieldIds[] = {IDC_ON_BATTERY_LIMIT, IDC_CHARGE_BELOW, IDC_RUNTIME_BELOW, IDC_GRACE,
                                   IDC_ACTION, IDC_LOGIN, IDC_PASSWORD};
// The action list's items, in this order.
unsigned const kActionTextIds[] = {IDS_ACTION_SHUTDOWN, IDS_ACTION_HIBERNATE};
// The Encryption list's items, in this order.
struct TlsModeItem {
    nut::TlsMode mode;
    unsigned textId;
};
TlsModeItem const kTlsModeItems[] = {
    {nut::TlsMode::Off, IDS_TLS_OFF}, {nut::TlsMode::Try, IDS_TLS_TRY}, {nut::TlsMode::Require, IDS_TLS_REQUIRE}};
// The Notify list's items, in this order.
struct NotifyItem {
    vandrel::NotifyMode mode;
    unsigned textId;
};
NotifyItem const kNotifyItems[] = {{vandrel::NotifyMode::Off, IDS_NOTIFY_OFF},
                                   {vandrel::NotifyMode::Critical, IDS_NOTIFY_CRITICAL},
                                   {vandrel::NotifyMode::All, IDS_NOTIFY_ALL}};

// Whether a password is stored that the service could use.
bool PasswordStored() {
    std::string password;
    ScopedWipe const wipe(password);
    return vandrel::ReadPassword(password) == ERROR_SUCCESS;
}

// The password as NUT servers take it, UTF-8, whatever this PC's ANSI code
// page. Every buffer it passes through is wiped.
void ReadUtf8Text(HWND item, std::string& out) {
    WipeString(out);
    int const length = item != nullptr ? ::GetWindowTextLengthW(item) : 0;
    if (length <= 0) return;
    std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
    ScopeExit const wipeWide([&] {
        wide.resize(wide.capacity());
        ::SecureZeroMemory(&wide[0], wide.size() * sizeof(wchar_t));
    });
    int const copied = ::GetWindowTextW(item, &wide[0], length + 1);
    int const size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), copied, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    out.assign(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), copied, &out[0], size, nullptr, nullptr);
}

std::wstring ShownText(HWND item) {
    int const length = item != nullptr ? ::GetWindowTextLengthW(item) : 0;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(length > 0 ? static_cast<size_t>(::GetWindowTextW(item, &text[0], length + 1)) : 0);
    return text;
}

// What the shared settings code says about a field, for the rare value the
// form's own checks let through.
bool ToFormField(vandrel::SettingsField field, Field& out) {
    switch (field) {
    case vandrel::SettingsField::UpsName: out = Field::UpsName; return true;
    case vandrel::SettingsField::Host: out = Field::Host; return true;
    case vandrel::SettingsField::Port: out = Field::Port; return true;
    case vandrel::SettingsField::PollMs: out = Field::PollMs; return true;
    case vandrel::SettingsField::Tls:
    case vandrel::SettingsField::TlsCa:
    case vandrel::SettingsField::TlsPin: out = Field::Certificate; return true;
    case vandrel::SettingsField::TlsName: out = Field::CertificateName; return true;
    case vandrel::SettingsField::OnBatteryLimit: out = Field::OnBatteryLimit; return true;
    case vandrel::SettingsField::ChargeBelow: out = Field::ChargeBelow; return true;
    case vandrel::SettingsField::RuntimeBelow: out = Field::RuntimeBelow; return true;
    case vandrel::SettingsField::Grace: out = Field::Grace; return true;
    case vandrel::SettingsField::Login: out = Field::Login; return true;
    default: return false;
    }
}

}  // namespace

BEGIN_MESSAGE_MAP(CConfigDlg, CDialog)
    ON_BN_CLICKED(IDC_SOURCE_NUT, OnSourceChanged)
    ON_BN_CLICKED(IDC_SOURCE_SIMULATE, OnSourceChanged)
    ON_BN_CLICKED(IDC_SHUTDOWN, OnShutdownChanged)
    ON_BN_CLICKED(IDC_TLS_BROWSE, OnBrowseCa)
    ON_BN_CLICKED(IDC_TRUST_CERTIFICATE, OnTrustCertificate)
    ON_BN_CLICKED(IDC_TEST_CONNECTION, OnTestConnection)
    ON_BN_CLICKED(IDC_SAVE, OnSave)
    ON_MESSAGE(WM_APP_TEST_DONE, OnTestDone)
    ON_MESSAGE(WM_APP_RESTART_DONE, OnRestartDone)
    ON_MESSAGE(WM_TIMER, OnStatusTimer)
    ON_MESSAGE(WM_APP_STATUS_READ, OnStatusRead)
    ON_MESSAGE(WM_DESTROY, OnDestroyDialog)
END_MESSAGE_MAP()

CConfigDlg::CConfigDlg() : CDialog(IDD_CONFIGURATION), test_(&nut::QueryOnceWithTls) {}

BOOL CConfigDlg::OnInitDialog() {
    BOOL const result = CDialog::OnInitDialog();

    // Whatever the key holds, the dialog opens: missing or unusable values
    // take their defaults, and the user is told which were ignored.
    vandrel::SettingsRead const read = vandrel::ReadServiceSettings(loaded_);
    for (unsigned id : kActionTextIds)
        ::SendDlgItemMessageA(m_hWnd, IDC_ACTION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text(id).c_str()));
    for (TlsModeItem const& item : kTlsModeItems)
        ::SendDlgItemMessageA(m_hWnd, IDC_TLS_MODE, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(Text(item.textId).c_str()));
    for (NotifyItem const& item : kNotifyItems)
        ::SendDlgItemMessageA(m_hWnd, IDC_NOTIFY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text(item.textId).c_str()));
    ShowSettings(loaded_);
    std::string notice;
    for (std::string const& bad : read.badValues) {
        if (!notice.empty()) notice += "\r\n";
        notice += Substitute(Text(IDS_SETTING_IGNORED), {bad});
    }
    if (unsigned const rightId = SaveRightMessageId(CurrentSaveRight())) {
        if (!notice.empty()) notice += "\r\n";
        notice += Text(rightId);
    }
    ShowStatus(notice);
    // Until the first read is in, the area says nothing it does not know.
    ShowUpsStatus({});
    watch_.Start(m_hWnd, WM_APP_STATUS_READ);
    SetTimer(kStatusTimerId, kStatusRefreshMs, nullptr);

    // Started from the tray, nothing else would bring it forward.
    SetForegroundWindow();
    return result;
}

std::string CConfigDlg::ItemText(int id) const {
    std::string text;
    ReadItemText(id, text);
    return text;
}

void CConfigDlg::ReadItemText(int id, std::string& out) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    int const length = item != nullptr ? ::GetWindowTextLengthA(item) : 0;
    out.assign(static_cast<size_t>(length) + 1, '\0');
    if (length > 0) out.resize(static_cast<size_t>(::GetWindowTextA(item, &out[0], length + 1)));
    else out.clear();
}

void CConfigDlg::SetItemText(int id, std::string const& text) { ::SetDlgItemTextA(m_hWnd, id, text.c_str()); }

void CConfigDlg::EnableItem(int id, bool enable) { ::EnableWindow(::GetDlgItem(m_hWnd, id), enable ? TRUE : FALSE); }

std::string CConfigDlg::Text(unsigned id) const {
    CString text;
    text.LoadString(id);
    return text.str();
}

void CConfigDlg::ReadForm(FormText& form) const {
    form.source = ::IsDlgButtonChecked(m_hWnd, IDC_SOURCE_SIMULATE) == BST_CHECKED ? vandrel::SourceKind::Simulate
                                                                                  : vandrel::SourceKind::Nut;
    form.upsName = ItemText(IDC_UPS_NAME);
    form.host = ItemText(IDC_HOST);
    form.port = ItemText(IDC_PORT);
    form.pollMs = ItemText(IDC_POLL_MS);
    ReadLink(form.link);
    form.shutdown = ::IsDlgButtonChecked(m_hWnd, IDC_SHUTDOWN) == BST_CHECKED;
    form.onBatteryLimit = ItemText(IDC_ON_BATTERY_LIMIT);
    form.chargeBelow = ItemText(IDC_CHARGE_BELOW);
    form.runtimeBelow = ItemText(IDC_RUNTIME_BELOW);
    form.grace = ItemText(IDC_GRACE);
    form.action = ::SendDlgItemMessageA(m_hWnd, IDC_ACTION, CB_GETCURSEL, 0, 0) == 1
                      ? vandrel::ShutdownAction::Hibernate
                      : vandrel::ShutdownAction::Shutdown;
    form.login = ItemText(IDC_LOGIN);
    ReadUtf8Text(::GetDlgItem(m_hWnd, IDC_PASSWORD), form.password);
    form.passwordStored = PasswordStored();
    LRESULT const notify = ::SendDlgItemMessageA(m_hWnd, IDC_NOTIFY, CB_GETCURSEL, 0, 0);
    form.notify = notify >= 0 && static_cast<size_t>(notify) < std::size(kNotifyItems) ? kNotifyItems[notify].mode
                                                                                       : vandrel::NotifyMode::Critical;
}

void CConfigDlg::ShowSettings(vandrel::ServiceSettings const& settings) {
    bool const nut = settings.source == vandrel::SourceKind::Nut;
    ::CheckRadioButton(m_hWnd, IDC_SOURCE_NUT, IDC_SOURCE_SIMULATE, nut ? IDC_SOURCE_NUT : IDC_SOURCE_SIMULATE);
    SetItemText(IDC_UPS_NAME, settings.ups.upsName);
    SetItemText(IDC_HOST, settings.ups.host);
    SetItemText(IDC_PORT, std::to_string(settings.ups.port));
    SetItemText(IDC_POLL_MS, std::to_string(settings.pollMs));
    ShowLink(LinkTextOf(settings, Text(IDS_CA_STORED)));
    EnableServerFields();

    vandrel::ProtectionSettings const& protection = settings.protection;
    ::CheckDlgButton(m_hWnd, IDC_SHUTDOWN,
                     protection.mode == vandrel::ShutdownMode::Critical ? BST_CHECKED : BST_UNCHECKED);
    SetItemText(IDC_ON_BATTERY_LIMIT, std::to_string(protection.onBatteryLimitSeconds));
    SetItemText(IDC_CHARGE_BELOW, std::to_string(protection.chargeBelowPercent));
    SetItemText(IDC_RUNTIME_BELOW, std::to_string(protection.runtimeBelowSeconds));
    SetItemText(IDC_GRACE, std::to_string(protection.graceSeconds));
    ::SendDlgItemMessageA(m_hWnd, IDC_ACTION, CB_SETCURSEL,
                          protection.action == vandrel::ShutdownAction::Hibernate ? 1 : 0, 0);
    SetItemText(IDC_LOGIN, protection.login);
    SetItemText(IDC_PASSWORD, "");  // the stored one is never shown
    EnableProtectionFields();
    for (size_t i = 0; i < std::size(kNotifyItems); ++i) {
        if (kNotifyItems[i].mode == settings.events.notify)
            ::SendDlgItemMessageA(m_hWnd, IDC_NOTIFY, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
}

void CConfigDlg::ReadLink(LinkText& link) const {
    LRESULT const index = ::SendDlgItemMessageA(m_hWnd, IDC_TLS_MODE, CB_GETCURSEL, 0, 0);
    bool const listed = index >= 0 && static_cast<size_t>(index) < std::size(kTlsModeItems);
    link.mode = listed ? kTlsModeItems[index].mode : nut::TlsMode::Try;
    link.certificate = ItemText(IDC_TLS_CERTIFICATE);
    link.caPem = caPem_;
    link.caLabel = caLabel_;
    link.serverName = ItemText(IDC_TLS_NAME);
}

void CConfigDlg::ShowLink(LinkText const& link) {
    for (size_t i = 0; i < std::size(kTlsModeItems); ++i) {
        if (kTlsModeItems[i].mode == link.mode)
            ::SendDlgItemMessageA(m_hWnd, IDC_TLS_MODE, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    }
    caPem_ = link.caPem;
    caLabel_ = link.caLabel;
    SetItemText(IDC_TLS_CERTIFICATE, link.certificate);
    SetItemText(IDC_TLS_NAME, link.serverName);
}

void CConfigDlg::EnableProtectionFields() {
    // A simulation never shuts the PC down: the whole group is greyed, and
    // what it holds is kept for when the source is a server again.
    bool const nut = ::IsDlgButtonChecked(m_hWnd, IDC_SOURCE_NUT) == BST_CHECKED;
    EnableItem(IDC_SHUTDOWN_GROUP, nut);
    EnableItem(IDC_SHUTDOWN, nut);
    bool const on = nut && ::IsDlgButtonChecked(m_hWnd, IDC_SHUTDOWN) == BST_CHECKED;
    for (int id : kProtectionFieldIds) EnableItem(id, on);
}

void CConfigDlg::EnableServerFields() {
    bool const nut = ::IsDlgButtonChecked(m_hWnd, IDC_SOURCE_NUT) == BST_CHECKED;
    for (int id : kServerFieldIds) EnableItem(id, nut && (id != IDC_TEST_CONNECTION || !test_.Running()));
    EnableItem(IDC_TRUST_CERTIFICATE, nut && !trustable_.empty());
}

void CConfigDlg::ShowFieldErrors(std::vector<FieldError> const& errors) {
    for (int id : kErrorTextIds) SetItemText(id, "");
    for (FieldError const& error : errors) SetItemText(ErrorTextId(error.field), Text(error.messageId));
}

void CConfigDlg::ShowStatus(std::string const& text) { SetItemText(IDC_STATUS_TEXT, text); }

void CConfigDlg::ShowUpsStatus(StatusSample const& sample) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    StatusTexts const texts = DescribeStatus(sample.read, std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime,
                                             [this](unsigned id) { return Text(id); });
    SetItemText(IDC_UPS_STATE, texts.state);
    SetItemText(IDC_UPS_CHARGE, texts.charge);
    SetItemText(IDC_UPS_RUNTIME, texts.runtime);
    SetItemText(IDC_UPS_LOAD, texts.load);
    SetItemText(IDC_UPS_INPUT_VOLTAGE, texts.inputVoltage);
    SetItemText(IDC_UPS_OUTPUT_VOLTAGE, texts.outputVoltage);
    SetItemText(IDC_UPS_MODEL, texts.model);
    SetItemText(IDC_UPS_SERVER, texts.server);
    SetItemText(IDC_UPS_PROTECTION, texts.protection);
    // The service wrote them in the system's language: UTF-16 keeps them
    // whole whatever this program's code page.
    std::wstring const events = DescribeEvents(sample.events, &LocalEventTime);
    HWND list = ::GetDlgItem(m_hWnd, IDC_UPS_EVENTS);
    if (ShownText(list) != events) ::SetWindowTextW(list, events.c_str());  // keeps where the user scrolled to
}

LRESULT CConfigDlg::OnStatusTimer(WPARAM timerId, LPARAM) {
    if (timerId == kStatusTimerId) watch_.Start(m_hWnd, WM_APP_STATUS_READ);  // skipped while one runs
    return 0;
}

LRESULT CConfigDlg::OnStatusRead(WPARAM, LPARAM) {
    std::optional<StatusSample> const sample = watch_.Take();
    // A block held too long by its writer: what is shown stays until the next tick.
    if (sample && sample->read.block.outcome != StatusBlockRead::kBusy) ShowUpsStatus(*sample);
    return 0;
}

void CConfigDlg::OnSourceChanged() {
    ShowFieldErrors({});
    EnableServerFields();
    EnableProtectionFields();
}

void CConfigDlg::OnShutdownChanged() {
    ShowFieldErrors({});
    EnableProtectionFields();
}

// The box shows the file's name; the service gets its text when Save runs.
void CConfigDlg::OnBrowseCa() {
    ChosenFile chosen;
    if (!ChooseCaFile(m_hWnd, Text(IDS_CA_FILE_FILTER), chosen)) return;
    std::string pem;
    if (!ReadCaFile(chosen.path, pem)) {
        ShowFieldErrors({{Field::Certificate, IDS_ERROR_CA_FILE}});
        return;
    }
    LinkText link;
    ReadLink(link);
    link.caPem = pem;
    link.caLabel = link.certificate = Substitute(Text(IDS_CA_FILE), {chosen.name});
    ShowLink(link);
    nut::TlsPolicy ignored;
    ShowFieldErrors(ValidateLink(link, ignored));
}

// The pin replaces whatever check the box held; Save stores it.
void CConfigDlg::OnTrustCertificate() {
    LinkText link;
    ReadLink(link);
    link.certificate = trustable_;
    link.caPem.clear();
    link.caLabel.clear();
    ShowLink(link);
    trustable_.clear();
    ShowFieldErrors({});
    EnableServerFields();
}

void CConfigDlg::OnTestConnection() {
    FormText form;
    ScopedWipe const wipeTyped(form.password);
    ReadForm(form);
    nut::UpsAddress address;
    nut::TlsPolicy tls;
    std::vector<FieldError> errors = ValidateAddress(form, address);
    std::vector<FieldError> const link = ValidateLink(form.link, tls);
    errors.insert(errors.end(), link.begin(), link.end());
    ShowFieldErrors(errors);
    if (!errors.empty()) return;
    // With protection on and a user, the test also logs in: the password
    // typed, or else the stored one. Off, this PC is no secondary to ask about.
    // The test takes a copy of its own; each wipes itself.
    nut::Credentials login;
    bool const logIn = form.shutdown && !form.login.empty();
    if (logIn) {
        login.user = form.login;
        login.password = form.password;
        if (login.password.empty()) vandrel::ReadPassword(login.password);
    }
    if (!test_.Start(m_hWnd, WM_APP_TEST_DONE, address, logIn ? &login : nullptr, tls, kTestTimeoutMs)) return;
    trustable_.clear();  // of the server asked before
    SetItemText(IDC_TEST_RESULT, Text(IDS_TEST_RUNNING));
    EnableServerFields();
}

LRESULT CConfigDlg::OnTestDone(WPARAM, LPARAM) {
    if (std::optional<nut::UpsReading> reading = test_.Take()) {
        SetItemText(IDC_TEST_RESULT, DescribeReading(*reading, [this](unsigned id) { return Text(id); }));
        trustable_ = TrustableFingerprint(*reading);
    }
    EnableServerFields();
    return 0;
}

LRESULT CConfigDlg::OnDestroyDialog(WPARAM, LPARAM) {
    // The workers must not post to a window that is gone.
    DWORD const waitMs = 1000;  // then the worker ends on its own
    KillTimer(kStatusTimerId);
    watch_.Abandon(waitMs);
    test_.Abandon(waitMs);
    restart_.Abandon(waitMs);
    return 0;
}

void CConfigDlg::OnOK() { OnSave(); }

void CConfigDlg::OnCancel() {
    closeWhenRestarted_ = restart_.Running();
    if (!closeWhenRestarted_) CDialog::OnCancel();
}

LRESULT CConfigDlg::OnRestartDone(WPARAM, LPARAM) {
    std::optional<RestartResult> const restart = restart_.Take();
    if (!restart) return 0;
    EnableItem(IDC_SAVE, true);
    switch (restart->outcome) {
    case RestartOutcome::Restarted: ShowStatus(Text(IDS_SAVED_RESTARTED)); break;
    case RestartOutcome::Failed: ShowStatus(Substitute(Text(IDS_RESTART_FAILED), {restart->failure})); break;
    default: ShowStatus(Text(IDS_SAVED)); break;
    }
    if (closeWhenRestarted_) CDialog::OnCancel();
    return 0;
}

void CConfigDlg::OnSave() {
    if (restart_.Running()) return;  // Enter while Save is disabled
    FormText form;
    ScopedWipe const wipeTyped(form.password);
    ReadForm(form);
    FormValues values;
    ScopedWipe const wipeNew(values.newPassword);
    vandrel::ServiceSettings settings;
    if (!CheckForm(form, values, settings) || !MaySave() || !StoreSettings(values, settings)) return;
    loaded_ = settings;
    if (!values.newPassword.empty()) SetItemText(IDC_PASSWORD, "");  // stored now
    RestartService();
}

bool CConfigDlg::CheckForm(FormText const& form, FormValues& values, vandrel::ServiceSettings& settings) {
    std::vector<FieldError> const errors = ValidateForm(form, values);
    ShowFieldErrors(errors);
    if (!errors.empty()) {
        ShowStatus(Text(IDS_FIX_FIELDS));
        return false;
    }
    settings = SettingsToSave(loaded_, values);
    vandrel::SettingsProblem const problem = vandrel::ValidateSettings(settings);
    if (!problem.failed()) return true;
    Field field;
    if (ToFormField(problem.field, field)) SetItemText(ErrorTextId(field), problem.message);
    ShowStatus(problem.message);
    return false;
}

bool CConfigDlg::MaySave() {
    if (unsigned const rightId = SaveRightMessageId(CurrentSaveRight())) {
        ShowStatus(Text(rightId));
        return false;
    }
    // The settings live under the service's key; writing them without the
    // service would leave a registration the system cannot use.
    if (!ServiceInstalled(kServiceName)) {
        ShowStatus(Text(IDS_SERVICE_NOT_INSTALLED));
        return false;
    }
    return true;
}

bool CConfigDlg::StoreSettings(FormValues const& values, vandrel::ServiceSettings const& settings) {
    // The password first: settings that name a user whose password failed
    // to go in would have the service log in with the old one.
    unsigned long written = ERROR_SUCCESS;
    if (!values.newPassword.empty()) written = vandrel::StorePassword(values.newPassword);
    if (written == ERROR_SUCCESS) written = vandrel::WriteServiceSettings(settings);
    if (written == ERROR_SUCCESS) return true;
    ShowStatus(written == ERROR_ACCESS_DENIED
                   ? Text(IDS_SAVE_NEEDS_ADMIN)
                   : Substitute(Text(IDS_SAVE_FAILED), {win32::DescribeWin32Error(written)}));
    return false;
}

void CConfigDlg::RestartService() {
    if (!restart_.Start(m_hWnd, WM_APP_RESTART_DONE, kServiceName)) {
        ShowStatus(Substitute(Text(IDS_RESTART_FAILED), {win32::DescribeWin32Error(::GetLastError())}));
        return;
    }
    EnableItem(IDC_SAVE, false);
    ShowStatus(Text(IDS_RESTARTING));
}

}  // namespace dellomark
