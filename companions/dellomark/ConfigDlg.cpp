#include "companions/dellomark/ConfigDlg.h"

#include "companions/common/Win32Error.h"
#include "companions/dellomark/Privileges.h"
#include "companions/dellomark/ServiceRestart.h"
#include "companions/dellomark/resource.h"
#include "framework/AfxString.h"

namespace dellomark {

namespace {

int ErrorTextId(Field field) {
    switch (field) {
    case Field::UpsName: return IDC_UPS_NAME_ERROR;
    case Field::Host: return IDC_HOST_ERROR;
    case Field::Port: return IDC_PORT_ERROR;
    case Field::PollMs: return IDC_POLL_MS_ERROR;
    }
    return IDC_STATUS_TEXT;
}

int const kErrorTextIds[] = {IDC_UPS_NAME_ERROR, IDC_HOST_ERROR, IDC_PORT_ERROR, IDC_POLL_MS_ERROR};
int const kServerFieldIds[] = {IDC_UPS_NAME, IDC_HOST, IDC_PORT, IDC_POLL_MS, IDC_TEST_CONNECTION};

// What the shared settings code says about a field, for the rare value the
// form's own checks let through.
bool ToFormField(vandrel::SettingsField field, Field& out) {
    switch (field) {
    case vandrel::SettingsField::UpsName: out = Field::UpsName; return true;
    case vandrel::SettingsField::Host: out = Field::Host; return true;
    case vandrel::SettingsField::Port: out = Field::Port; return true;
    case vandrel::SettingsField::PollMs: out = Field::PollMs; return true;
    default: return false;
    }
}

}  // namespace

BEGIN_MESSAGE_MAP(CConfigDlg, CDialog)
    ON_BN_CLICKED(IDC_SOURCE_NUT, OnSourceChanged)
    ON_BN_CLICKED(IDC_SOURCE_SIMULATE, OnSourceChanged)
    ON_BN_CLICKED(IDC_TEST_CONNECTION, OnTestConnection)
    ON_BN_CLICKED(IDC_SAVE, OnSave)
    ON_MESSAGE(WM_APP_TEST_DONE, OnTestDone)
    ON_MESSAGE(WM_APP_RESTART_DONE, OnRestartDone)
    ON_MESSAGE(WM_DESTROY, OnDestroyDialog)
END_MESSAGE_MAP()

CConfigDlg::CConfigDlg() : CDialog(IDD_CONFIGURATION), test_(&nut::QueryOnce) {}

BOOL CConfigDlg::OnInitDialog() {
    BOOL const result = CDialog::OnInitDialog();

    // Whatever the key holds, the dialog opens: missing or unusable values
    // take their defaults, and the user is told which were ignored.
    vandrel::SettingsRead const read = vandrel::ReadServiceSettings(loaded_);
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

    // Started from the tray, nothing else would bring it forward.
    SetForegroundWindow();
    return result;
}

std::string CConfigDlg::ItemText(int id) const {
    HWND item = ::GetDlgItem(m_hWnd, id);
    int const length = item != nullptr ? ::GetWindowTextLengthA(item) : 0;
    std::string text(static_cast<size_t>(length) + 1, '\0');
    if (length > 0) text.resize(static_cast<size_t>(::GetWindowTextA(item, &text[0], length + 1)));
    else text.clear();
    return text;
}

void CConfigDlg::SetItemText(int id, std::string const& text) { ::SetDlgItemTextA(m_hWnd, id, text.c_str()); }

void CConfigDlg::EnableItem(int id, bool enable) { ::EnableWindow(::GetDlgItem(m_hWnd, id), enable ? TRUE : FALSE); }

std::string CConfigDlg::Text(unsigned id) const {
    CString text;
    text.LoadString(id);
    return text.str();
}

FormText CConfigDlg::ReadForm() const {
    FormText form;
    form.source = ::IsDlgButtonChecked(m_hWnd, IDC_SOURCE_SIMULATE) == BST_CHECKED ? Source::Simulate : Source::Nut;
    form.upsName = ItemText(IDC_UPS_NAME);
    form.host = ItemText(IDC_HOST);
    form.port = ItemText(IDC_PORT);
    form.pollMs = ItemText(IDC_POLL_MS);
    return form;
}

void CConfigDlg::ShowSettings(vandrel::ServiceSettings const& settings) {
    bool const nut = settings.source == vandrel::SourceKind::Nut;
    ::CheckRadioButton(m_hWnd, IDC_SOURCE_NUT, IDC_SOURCE_SIMULATE, nut ? IDC_SOURCE_NUT : IDC_SOURCE_SIMULATE);
    SetItemText(IDC_UPS_NAME, settings.ups.upsName);
    SetItemText(IDC_HOST, settings.ups.host);
    SetItemText(IDC_PORT, std::to_string(settings.ups.port));
    SetItemText(IDC_POLL_MS, std::to_string(settings.pollMs));
    EnableServerFields();
}

void CConfigDlg::EnableServerFields() {
    bool const nut = ::IsDlgButtonChecked(m_hWnd, IDC_SOURCE_NUT) == BST_CHECKED;
    for (int id : kServerFieldIds) EnableItem(id, nut && (id != IDC_TEST_CONNECTION || !test_.Running()));
}

void CConfigDlg::ShowFieldErrors(std::vector<FieldError> const& errors) {
    for (int id : kErrorTextIds) SetItemText(id, "");
    for (FieldError const& error : errors) SetItemText(ErrorTextId(error.field), Text(error.messageId));
}

void CConfigDlg::ShowStatus(std::string const& text) { SetItemText(IDC_STATUS_TEXT, text); }

void CConfigDlg::OnSourceChanged() {
    ShowFieldErrors({});
    EnableServerFields();
}

void CConfigDlg::OnTestConnection() {
    nut::UpsAddress address;
    std::vector<FieldError> const errors = ValidateAddress(ReadForm(), address);
    ShowFieldErrors(errors);
    if (!errors.empty()) return;
    if (!test_.Start(m_hWnd, WM_APP_TEST_DONE, address, kTestTimeoutMs)) return;
    SetItemText(IDC_TEST_RESULT, Text(IDS_TEST_RUNNING));
    EnableServerFields();
}

LRESULT CConfigDlg::OnTestDone(WPARAM, LPARAM) {
    if (std::optional<nut::UpsReading> reading = test_.Take()) {
        SetItemText(IDC_TEST_RESULT, DescribeReading(*reading, [this](unsigned id) { return Text(id); }));
    }
    EnableServerFields();
    return 0;
}

LRESULT CConfigDlg::OnDestroyDialog(WPARAM, LPARAM) {
    // The workers must not post to a window that is gone.
    DWORD const waitMs = 1000;  // then the worker ends on its own
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
    FormText const form = ReadForm();
    FormValues values;
    std::vector<FieldError> errors = ValidateForm(form, values);
    ShowFieldErrors(errors);
    if (!errors.empty()) {
        ShowStatus(Text(IDS_FIX_FIELDS));
        return;
    }

    vandrel::ServiceSettings settings = loaded_;
    settings.source = values.source == Source::Nut ? vandrel::SourceKind::Nut : vandrel::SourceKind::Simulate;
    if (values.source == Source::Nut) {
        settings.ups = values.address;
        settings.pollMs = values.pollMs;
    }
    // The shared checks have the last word on what the service accepts.
    vandrel::SettingsProblem const problem = vandrel::ValidateSettings(settings);
    if (problem.failed()) {
        Field field;
        if (ToFormField(problem.field, field)) SetItemText(ErrorTextId(field), problem.message);
        ShowStatus(problem.message);
        return;
    }

    if (unsigned const rightId = SaveRightMessageId(CurrentSaveRight())) {
        ShowStatus(Text(rightId));
        return;
    }
    // The settings live under the service's key; writing them without the
    // service would leave a registration the system cannot use.
    if (!ServiceInstalled(kServiceName)) {
        ShowStatus(Text(IDS_SERVICE_NOT_INSTALLED));
        return;
    }

    unsigned long const written = vandrel::WriteServiceSettings(settings);
    if (written != ERROR_SUCCESS) {
        ShowStatus(written == ERROR_ACCESS_DENIED
                       ? Text(IDS_SAVE_NEEDS_ADMIN)
                       : Substitute(Text(IDS_SAVE_FAILED), {companions::DescribeWin32Error(written)}));
        return;
    }
    loaded_ = settings;
    if (!restart_.Start(m_hWnd, WM_APP_RESTART_DONE, kServiceName)) {
        ShowStatus(Substitute(Text(IDS_RESTART_FAILED), {companions::DescribeWin32Error(::GetLastError())}));
        return;
    }
    EnableItem(IDC_SAVE, false);
    ShowStatus(Text(IDS_RESTARTING));
}

}  // namespace dellomark
