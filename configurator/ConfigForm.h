// What the configuration dialog decides, apart from the window: checking
// the fields, wording a connection test's reading, and whether this user
// may save. The dialog applies the results.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "nut/NutClient.h"
#include "service/settings/ServiceSettings.h"

namespace dellomark {

// The Encryption fields, as shown. The certificate box holds one check at a
// time: a fingerprint as typed, or `caLabel` standing for the CA `caPem`
// (chosen with Browse, or stored before); anything typed over the label is
// taken as a fingerprint.
struct LinkText {
    nut::TlsMode mode = nut::TlsMode::Try;
    std::string certificate;
    std::string caPem;
    std::string caLabel;
    std::string serverName;  // empty: the host
};

// The fields, as typed.
struct FormText {
    vandrel::SourceKind source = vandrel::SourceKind::Nut;
    std::string upsName;
    std::string host;
    std::string port;
    std::string pollMs;
    LinkText link;
    // The Shutdown group.
    bool shutdown = false;
    std::string onBatteryLimit;
    std::string chargeBelow;   // percent
    std::string runtimeBelow;  // seconds
    std::string grace;
    vandrel::ShutdownAction action = vandrel::ShutdownAction::Shutdown;
    std::string login;
    std::string password;         // empty: keep the stored one
    bool passwordStored = false;  // one is stored already
    vandrel::NotifyMode notify = vandrel::NotifyMode::Critical;  // who hears of the UPS's events
};

enum class Field {
    UpsName,
    Host,
    Port,
    PollMs,
    Certificate,
    CertificateName,
    OnBatteryLimit,
    ChargeBelow,
    RuntimeBelow,
    Grace,
    Login,
    Password,
};

struct FieldError {
    Field field;
    unsigned messageId;  // a string that names the field
};

// The fields, checked.
struct FormValues {
    vandrel::SourceKind source = vandrel::SourceKind::Nut;
    nut::UpsAddress address;
    std::uint32_t pollMs = 0;
    nut::TlsPolicy tls;
    bool shutdown = false;  // protection on: the box checked, with a NUT server
    // Only when `shutdown`, and only the group's fields: the rest are
    // defaults, not values to store (SettingsToSave).
    vandrel::ProtectionSettings protection;
    std::string newPassword;  // empty: the stored one stays
    vandrel::NotifyMode notify = vandrel::NotifyMode::Critical;  // whatever the source
};

// The NUT client judges name, host and port (nut::CheckUpsAddress); a host
// may be typed with or without brackets and comes out without. A number
// field takes digits only, within the bounds of its setting's row in the
// service's table (service/settings/ServiceSettings.h), the port's too.
// Every field in error, in the order of the form; `out` is written only
// when there are none. The simulation uses none of the server's fields, so
// they are not checked for it (what is in them is kept as it is), nor are
// the Encryption fields, which go with them.
// The Shutdown group likewise, while its checkbox is off or the source is
// the simulation, which never shuts the PC down. On, it takes the service's
// bounds, a user, and a password typed now or stored before.
std::vector<FieldError> ValidateForm(FormText const& text, FormValues& out);

// What Save writes: the stored settings with the form's values in them. The
// form owns the source, the server's fields (the link's among them), the
// Shutdown group's and who is told of events; every
// other value (the simulation's, the final delay, hostsync) stays as stored,
// as do the fields of a source or group that is not in use. With the
// simulation, or the box off, protection is saved off.
vandrel::ServiceSettings SettingsToSave(vandrel::ServiceSettings const& stored, FormValues const& values);

// Only the fields a connection test needs (name, host, port).
std::vector<FieldError> ValidateAddress(FormText const& text, nut::UpsAddress& out);

// The Encryption fields, judged by the service's table; a certificate check
// with encryption off is refused, as the service would never make it.
std::vector<FieldError> ValidateLink(LinkText const& text, nut::TlsPolicy& out);

// The Encryption fields for the stored settings, read through the table; a
// stored CA shows as `storedCaLabel`.
LinkText LinkTextOf(vandrel::ServiceSettings const& settings, std::string const& storedCaLabel);

// Loads string `id` of the program's resources.
using TextLoader = std::function<std::string(unsigned id)>;

// "%1" ... "%9" in `pattern` replaced by the arguments; "%%" is one "%".
std::string Substitute(std::string const& pattern, std::vector<std::string> const& arguments);

// What the server said ("OL CHRG, battery 100 %"), or why nothing was had
// ("Failed: connection refused"), worded by the program's strings. A
// failure the program has no string for is shown as the client put it.
// When the test logged in, a second line says whether the server took the
// login, and so whether the primary waits for this PC, or why not.
// Between them, how the link came out: encrypted and whose certificate, or
// in clear (and the password with it). A refused link replaces the first.
std::string DescribeReading(nut::UpsReading const& reading, TextLoader const& text);

// The fingerprint a person may choose to trust: the link was encrypted but
// nothing checked the certificate. Empty otherwise.
std::string TrustableFingerprint(nut::UpsReading const& reading);

// Who may write the service's settings.
enum class TokenElevation { Unknown, Default, Full, Limited };
enum class SaveRight { Allowed, NeedsElevation, NeedsAdministrator };

// `adminGroupEnabled`: the Administrators group counts in this process's
// token. A limited token of an administrator (elevation not asked for, or
// refused) lacks it but could have it by running elevated.
SaveRight DecideSaveRight(bool adminGroupEnabled, TokenElevation elevation);

// The string that tells the user, or 0 when saving is allowed.
unsigned SaveRightMessageId(SaveRight right);

}  // namespace dellomark
