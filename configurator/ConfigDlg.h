// The configuration dialog: where the monitoring service reads its UPS
// from, whether it shuts this PC down before the battery runs out, a
// connection test, and saving (which restarts a running service).
#pragma once

#include <string>
#include <vector>

#include "configurator/ConfigForm.h"
#include "configurator/ConnectionTest.h"
#include "configurator/ServiceRestart.h"
#include "configurator/StatusWatch.h"
#include "framework/Dialog.h"
#include "service/settings/ServiceSettings.h"

namespace dellomark {

// Sent by the connection test's worker when it is done.
UINT const WM_APP_TEST_DONE = WM_APP + 1;
// Sent by the restart's worker when it is done.
UINT const WM_APP_RESTART_DONE = WM_APP + 2;
// Sent by the status area's worker when its read is done.
UINT const WM_APP_STATUS_READ = WM_APP + 3;

// The status area is read again this often while the dialog is open.
UINT_PTR const kStatusTimerId = 1;
UINT const kStatusRefreshMs = 1000;

// How long one connection test may take in all.
unsigned const kTestTimeoutMs = 5000;

class CConfigDlg : public CDialog {
public:
    CConfigDlg();

    BOOL OnInitDialog() override;

protected:
    // Enter saves; the dialog stays open to show how it went.
    void OnOK() override;
    // While the service restarts, closing waits for it: a program that ended
    // then would leave the service stopped.
    void OnCancel() override;

    afx_msg void OnSourceChanged();
    afx_msg void OnShutdownChanged();
    afx_msg void OnBrowseCa();
    afx_msg void OnTrustCertificate();
    afx_msg void OnTestConnection();
    afx_msg void OnSave();
    afx_msg LRESULT OnTestDone(WPARAM, LPARAM);
    afx_msg LRESULT OnRestartDone(WPARAM, LPARAM);
    afx_msg LRESULT OnStatusTimer(WPARAM, LPARAM);
    afx_msg LRESULT OnStatusRead(WPARAM, LPARAM);
    afx_msg LRESULT OnDestroyDialog(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    std::string ItemText(int id) const;
    void ReadItemText(int id, std::string& out) const;
    void SetItemText(int id, std::string const& text);
    void EnableItem(int id, bool enable);
    std::string Text(unsigned id) const;

    // The caller wipes `form.password`.
    void ReadForm(FormText& form) const;
    void ShowSettings(vandrel::ServiceSettings const& settings);
    void ReadLink(LinkText& link) const;
    void ShowLink(LinkText const& link);
    void EnableServerFields();
    void EnableProtectionFields();
    // Clears every field's message, then shows these.
    void ShowFieldErrors(std::vector<FieldError> const& errors);
    void ShowStatus(std::string const& text);
    void ShowUpsStatus(StatusSample const& sample);

    // Save's steps, in order; each but the last says why it stops, and
    // returns false then.
    // The form's checks, then the service's, which have the last word:
    // `values` as checked and `settings` to write.
    bool CheckForm(FormText const& form, FormValues& values, vandrel::ServiceSettings& settings);
    // This user may write the settings, and the service is there to take them.
    bool MaySave();
    // The new password, if any, then the settings.
    bool StoreSettings(FormValues const& values, vandrel::ServiceSettings const& settings);
    void RestartService();

    vandrel::ServiceSettings loaded_;  // what the key held; Save keeps what the form does not show
    // The CA the certificate box stands for while it shows `caLabel_`.
    std::string caPem_;
    std::string caLabel_;
    std::string trustable_;  // the last test's fingerprint of a certificate nothing checked
    ConnectionTest test_;
    ServiceRestart restart_;
    StatusWatch watch_;
    bool closeWhenRestarted_ = false;
};

}  // namespace dellomark
