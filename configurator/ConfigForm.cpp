#include "configurator/ConfigForm.h"

#include "configurator/resource.h"
#include "win32/SecretString.h"
#include "nut/NutProtocol.h"
#include "service/settings/ServiceSettings.h"

namespace dellomark {

namespace {

// The client's judge decides; the form only words its answer. By part, in
// the judge's order: the field, and its texts for empty, too long and bad.
struct PartTexts {
    Field field;
    unsigned empty, tooLong, invalid;
};
PartTexts const kPartTexts[] = {
    {Field::UpsName, IDS_ERROR_NAME_EMPTY, IDS_ERROR_NAME_LENGTH, IDS_ERROR_NAME_CHARACTERS},
    {Field::Host, IDS_ERROR_HOST_EMPTY, IDS_ERROR_HOST_LENGTH, IDS_ERROR_HOST_CHARACTERS},
    {Field::Port, IDS_ERROR_PORT_RANGE, IDS_ERROR_PORT_RANGE, IDS_ERROR_PORT_RANGE},
};

// Failures the client reports that the program words in the user's language.
struct FailureText {
    char const* failure;
    unsigned id;
};
FailureText const kFailureTexts[] = {
    {"connection refused", IDS_FAILURE_REFUSED},
    {"unknown UPS", IDS_FAILURE_UNKNOWN_UPS},
    {"data stale", IDS_FAILURE_DATA_STALE},
    {"driver not connected", IDS_FAILURE_DRIVER},
    {"no answer", IDS_FAILURE_NO_ANSWER},
    {"malformed reply", IDS_FAILURE_MALFORMED},
    {"unknown host", IDS_FAILURE_HOST_UNKNOWN},
    // Why a login was refused.
    {"access denied", IDS_LOGIN_ACCESS_DENIED},
    {"wrong password", IDS_LOGIN_WRONG_PASSWORD},
    {"unknown user", IDS_LOGIN_UNKNOWN_USER},
    {"the password is empty", IDS_LOGIN_NO_PASSWORD},
    // Why a link was refused.
    {"fingerprint does not match", IDS_REFUSAL_PIN},
    {"certificate from another CA", IDS_REFUSAL_OTHER_CA},
    {"certificate expired or not yet valid", IDS_REFUSAL_EXPIRED},
    {"TLS below 1.2", IDS_REFUSAL_OLD_TLS},
    {"the server does not offer TLS", IDS_REFUSAL_NO_TLS},
    {"certificate revoked", IDS_REFUSAL_REVOKED},
    {"certificate not made for a server", IDS_REFUSAL_USAGE},
};
// Failures that end in a value of their own, which the string takes as %1.
FailureText const kFailuresWithValue[] = {
    {"certificate name does not match ", IDS_REFUSAL_NAME},
};

std::string Worded(std::string const& failure, TextLoader const& text) {
    for (FailureText const& known : kFailureTexts) {
        if (failure == known.failure) return text(known.id);
    }
    for (FailureText const& known : kFailuresWithValue) {
        std::string const head = known.failure;
        if (failure.size() > head.size() && failure.compare(0, head.size(), head) == 0)
            return Substitute(text(known.id), {failure.substr(head.size())});
    }
    return failure;
}

// A number as typed into a field: digits only (the service would trim
// blanks; a field takes none), within the bounds of its setting's row.
// `settings` takes it.
bool TakeNumber(vandrel::ServiceSettings& settings, vandrel::SettingsField setting, std::string const& typed) {
    return !typed.empty() && typed.find_first_not_of("0123456789") == std::string::npos &&
           !vandrel::SetFieldFromText(settings, setting, typed).failed();
}

// The Shutdown group's numbers, in the order of the form.
struct NumberField {
    std::string FormText::*text;
    vandrel::SettingsField setting;
    Field field;
    unsigned messageId;
};
NumberField const kProtectionNumbers[] = {
    {&FormText::onBatteryLimit, vandrel::SettingsField::OnBatteryLimit, Field::OnBatteryLimit,
     IDS_ERROR_ON_BATTERY_RANGE},
    {&FormText::chargeBelow, vandrel::SettingsField::ChargeBelow, Field::ChargeBelow, IDS_ERROR_CHARGE_RANGE},
    {&FormText::runtimeBelow, vandrel::SettingsField::RuntimeBelow, Field::RuntimeBelow, IDS_ERROR_RUNTIME_RANGE},
    {&FormText::grace, vandrel::SettingsField::Grace, Field::Grace, IDS_ERROR_GRACE_RANGE},
};

// The Shutdown group, on: the service's own checks judge each value.
void ValidateProtection(FormText const& text, FormValues& values, std::vector<FieldError>& errors) {
    vandrel::ServiceSettings probe;
    probe.protection.mode = vandrel::ShutdownMode::Critical;
    probe.protection.action = text.action;
    for (NumberField const& number : kProtectionNumbers) {
        if (!TakeNumber(probe, number.setting, text.*number.text)) errors.push_back({number.field, number.messageId});
    }
    // Without a login the primary would not wait for this PC.
    if (text.login.empty())
        errors.push_back({Field::Login, IDS_ERROR_LOGIN_EMPTY});
    else if (vandrel::SetFieldFromText(probe, vandrel::SettingsField::Login, text.login).failed())
        errors.push_back({Field::Login, IDS_ERROR_LOGIN_CHARACTERS});
    if (!text.password.empty()) {
        if (!nut::CheckCredential(text.password, "password").empty())
            errors.push_back({Field::Password, IDS_ERROR_PASSWORD_CHARACTERS});
        values.newPassword = text.password;
    } else if (!text.passwordStored) {
        errors.push_back({Field::Password, IDS_ERROR_PASSWORD_EMPTY});
    }
    values.protection = probe.protection;
}

}  // namespace

std::vector<FieldError> ValidateAddress(FormText const& text, nut::UpsAddress& out) {
    nut::UpsAddress address{text.upsName, text.host, 0};  // a port not taken stays 0, which the judge refuses
    vandrel::ServiceSettings probe;
    if (TakeNumber(probe, vandrel::SettingsField::Port, text.port)) address.port = probe.ups.port;
    std::vector<FieldError> errors;
    for (nut::AddressProblem const& problem : nut::CheckUpsAddress(address)) {
        PartTexts const& texts = kPartTexts[static_cast<size_t>(problem.part)];
        errors.push_back({texts.field, problem.fault == nut::AddressFault::Empty     ? texts.empty
                                       : problem.fault == nut::AddressFault::TooLong ? texts.tooLong
                                                                                     : texts.invalid});
    }
    if (errors.empty()) out = address;
    return errors;
}

std::vector<FieldError> ValidateLink(LinkText const& text, nut::TlsPolicy& out) {
    vandrel::ServiceSettings probe;
    vandrel::SetFieldFromText(probe, vandrel::SettingsField::Tls, vandrel::TlsModeName(text.mode));
    bool const showsCa = !text.caPem.empty() && text.certificate == text.caLabel;
    unsigned const badCertificate = showsCa ? IDS_ERROR_CA_PEM : IDS_ERROR_PIN;
    std::vector<FieldError> errors;
    if (vandrel::SetFieldFromText(probe, showsCa ? vandrel::SettingsField::TlsCa : vandrel::SettingsField::TlsPin,
                                  showsCa ? text.caPem : text.certificate)
            .failed())
        errors.push_back({Field::Certificate, badCertificate});
    else if (text.mode == nut::TlsMode::Off && probe.tls.check != nut::TlsCheck::None)
        errors.push_back({Field::Certificate, IDS_ERROR_CHECK_WITHOUT_TLS});
    if (vandrel::SetFieldFromText(probe, vandrel::SettingsField::TlsName, text.serverName).failed())
        errors.push_back({Field::CertificateName, IDS_ERROR_TLS_NAME});
    if (errors.empty()) out = probe.tls;
    return errors;
}

LinkText LinkTextOf(vandrel::ServiceSettings const& settings, std::string const& storedCaLabel) {
    auto const stored = [&](vandrel::SettingsField field) { return vandrel::FindField(field)->text(settings); };
    LinkText text;
    text.mode = settings.tls.mode;
    text.caPem = stored(vandrel::SettingsField::TlsCa);
    if (!text.caPem.empty()) text.caLabel = storedCaLabel;
    text.certificate = text.caPem.empty() ? stored(vandrel::SettingsField::TlsPin) : storedCaLabel;
    text.serverName = stored(vandrel::SettingsField::TlsName);
    return text;
}

std::vector<FieldError> ValidateForm(FormText const& text, FormValues& out) {
    FormValues values;
    ScopedWipe const wipe(values.newPassword);  // `out` has a copy of its own
    values.source = text.source;
    values.notify = text.notify;
    std::vector<FieldError> errors;
    if (text.source == vandrel::SourceKind::Nut) {
        errors = ValidateAddress(text, values.address);
        vandrel::ServiceSettings probe;
        if (TakeNumber(probe, vandrel::SettingsField::PollMs, text.pollMs))
            values.pollMs = probe.pollMs;
        else
            errors.push_back({Field::PollMs, IDS_ERROR_POLL_RANGE});
        std::vector<FieldError> const link = ValidateLink(text.link, values.tls);
        errors.insert(errors.end(), link.begin(), link.end());
    }
    values.shutdown = text.shutdown && text.source == vandrel::SourceKind::Nut;
    if (values.shutdown) ValidateProtection(text, values, errors);
    if (errors.empty()) out = values;
    return errors;
}

vandrel::ServiceSettings SettingsToSave(vandrel::ServiceSettings const& stored, FormValues const& values) {
    vandrel::ServiceSettings settings = stored;
    settings.source = values.source;
    settings.events.notify = values.notify;
    if (values.source == vandrel::SourceKind::Nut) {
        settings.ups = values.address;
        settings.pollMs = values.pollMs;
        settings.tls = values.tls;
    }
    vandrel::ProtectionSettings& protection = settings.protection;
    if (!values.shutdown) {
        protection.mode = vandrel::ShutdownMode::Off;
        return settings;
    }
    vandrel::ProtectionSettings const& form = values.protection;
    protection.mode = vandrel::ShutdownMode::Critical;
    protection.onBatteryLimitSeconds = form.onBatteryLimitSeconds;
    protection.chargeBelowPercent = form.chargeBelowPercent;
    protection.runtimeBelowSeconds = form.runtimeBelowSeconds;
    protection.graceSeconds = form.graceSeconds;
    protection.action = form.action;
    protection.login = form.login;
    return settings;
}

std::string Substitute(std::string const& pattern, std::vector<std::string> const& arguments) {
    std::string result;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char const next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && next == '%') {
            result += '%';
            ++i;
        } else if (pattern[i] == '%' && next >= '1' && next <= '9') {
            size_t const index = static_cast<size_t>(next - '1');
            if (index < arguments.size()) result += arguments[index];
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}

namespace {

// The reading's first line: what the server said, or why nothing was had.
std::string DescribeAnswer(nut::UpsReading const& reading, TextLoader const& text) {
    if (!reading.answered && !reading.link.refusal.empty())
        return Substitute(text(IDS_LINK_REFUSED), {Worded(reading.link.refusal, text)});
    if (!reading.answered) return Substitute(text(IDS_READING_FAILED), {Worded(reading.failure, text)});
    if (reading.charge >= 0)
        return Substitute(text(IDS_READING_WITH_CHARGE), {reading.status, std::to_string(reading.charge)});
    return Substitute(text(IDS_READING_STATUS), {reading.status});
}

// Empty when there is nothing to say: a refusal is the first line already,
// and a connection that failed in clear may never have been made.
std::string DescribeLink(nut::UpsReading const& reading, TextLoader const& text) {
    nut::LinkState const& link = reading.link;
    if (!link.refusal.empty()) return std::string();
    if (link.encrypted && link.verified) return Substitute(text(IDS_LINK_VERIFIED), {link.protocol, link.subject});
    if (link.encrypted) return Substitute(text(IDS_LINK_NOT_CHECKED), {link.fingerprint});
    if (!reading.answered) return std::string();
    return text(reading.login == nut::LoginOutcome::NotAsked ? IDS_LINK_CLEAR : IDS_LINK_CLEAR_LOGIN);
}

}  // namespace

std::string DescribeReading(nut::UpsReading const& reading, TextLoader const& text) {
    std::string described = DescribeAnswer(reading, text);
    std::string const link = DescribeLink(reading, text);
    if (!link.empty()) described += "\r\n" + link;
    switch (reading.login) {
    case nut::LoginOutcome::NotAsked: break;
    case nut::LoginOutcome::LoggedIn: described += "\r\n" + text(IDS_LOGIN_ACCEPTED); break;
    case nut::LoginOutcome::Refused:
        described += "\r\n" + Substitute(text(IDS_LOGIN_REFUSED), {Worded(reading.loginProblem, text)});
        break;
    }
    return described;
}

std::string TrustableFingerprint(nut::UpsReading const& reading) {
    return reading.link.encrypted && !reading.link.verified ? reading.link.fingerprint : std::string();
}

SaveRight DecideSaveRight(bool adminGroupEnabled, TokenElevation elevation) {
    if (adminGroupEnabled) return SaveRight::Allowed;
    if (elevation == TokenElevation::Limited) return SaveRight::NeedsElevation;
    return SaveRight::NeedsAdministrator;
}

unsigned SaveRightMessageId(SaveRight right) {
    switch (right) {
    case SaveRight::Allowed: return 0;
    case SaveRight::NeedsElevation: return IDS_SAVE_NEEDS_ELEVATION;
    case SaveRight::NeedsAdministrator: return IDS_SAVE_NEEDS_ADMIN;
    }
    return IDS_SAVE_NEEDS_ADMIN;
}

}  // namespace dellomark
