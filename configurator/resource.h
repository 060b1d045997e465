// Resource identifiers of the configuration program, shared by its resource
// scripts and its code. Kept free of C++ so windres can include it.
#ifndef DELLOMARK_RESOURCE_H
#define DELLOMARK_RESOURCE_H

#define IDR_DELLOMARK               100   // the program's icon

// The dialog's own window class, so a second start can find it whatever
// the language of its title.
#define DELLOMARK_DIALOG_CLASS      "DellomarkDialog"

#define IDD_CONFIGURATION           101
#define IDC_SOURCE_NUT              1001
#define IDC_SOURCE_SIMULATE         1002
#define IDC_UPS_NAME                1003
#define IDC_HOST                    1004
#define IDC_PORT                    1005
#define IDC_POLL_MS                 1006
#define IDC_UPS_NAME_ERROR          1013
#define IDC_HOST_ERROR              1014
#define IDC_PORT_ERROR              1015
#define IDC_POLL_MS_ERROR           1016
// The Encryption fields.
#define IDC_TLS_MODE                1050
#define IDC_TLS_CERTIFICATE         1051
#define IDC_TLS_BROWSE              1052
#define IDC_TLS_NAME                1053
#define IDC_TLS_CERTIFICATE_ERROR   1054
#define IDC_TLS_NAME_ERROR          1055
#define IDC_TRUST_CERTIFICATE       1056
#define IDC_TEST_CONNECTION         1020
#define IDC_TEST_RESULT             1021
#define IDC_SAVE                    1022
#define IDC_STATUS_TEXT             1023
// The Shutdown group.
#define IDC_SHUTDOWN                1030
#define IDC_ON_BATTERY_LIMIT        1031
#define IDC_GRACE                   1032
#define IDC_ACTION                  1033
#define IDC_LOGIN                   1034
#define IDC_PASSWORD                1035
#define IDC_CHARGE_BELOW            1036
#define IDC_RUNTIME_BELOW           1037
#define IDC_SHUTDOWN_GROUP          1038
#define IDC_ON_BATTERY_LIMIT_ERROR  1041
#define IDC_GRACE_ERROR             1042
#define IDC_LOGIN_ERROR             1044
#define IDC_PASSWORD_ERROR          1045
#define IDC_CHARGE_BELOW_ERROR      1046
#define IDC_RUNTIME_BELOW_ERROR     1047
// Who hears of the UPS's events.
#define IDC_NOTIFY                  1070
// The status area: the service's last reading and its recent events.
#define IDC_UPS_STATE               1060
#define IDC_UPS_CHARGE              1061
#define IDC_UPS_RUNTIME             1062
#define IDC_UPS_LOAD                1063
#define IDC_UPS_INPUT_VOLTAGE       1064
#define IDC_UPS_OUTPUT_VOLTAGE      1065
#define IDC_UPS_MODEL               1066
#define IDC_UPS_SERVER              1067
#define IDC_UPS_PROTECTION          1068
#define IDC_UPS_EVENTS              1069

// Field errors; each names its field.
#define IDS_ERROR_NAME_EMPTY        201
#define IDS_ERROR_NAME_CHARACTERS   202
#define IDS_ERROR_HOST_EMPTY        203
#define IDS_ERROR_HOST_CHARACTERS   204
#define IDS_ERROR_PORT_RANGE        205
#define IDS_ERROR_POLL_RANGE        206
#define IDS_ERROR_NAME_LENGTH       207
#define IDS_ERROR_HOST_LENGTH       208
#define IDS_ERROR_ON_BATTERY_RANGE  209
#define IDS_ERROR_GRACE_RANGE       210
#define IDS_ERROR_LOGIN_EMPTY       211
#define IDS_ERROR_LOGIN_CHARACTERS  212
#define IDS_ERROR_PASSWORD_EMPTY    213
#define IDS_ERROR_PASSWORD_CHARACTERS 214
#define IDS_ERROR_CHARGE_RANGE      215
#define IDS_ERROR_RUNTIME_RANGE     216
#define IDS_ERROR_PIN               217
#define IDS_ERROR_CA_PEM            218
#define IDS_ERROR_CA_FILE           219
#define IDS_ERROR_CHECK_WITHOUT_TLS 270
#define IDS_ERROR_TLS_NAME          271

// The connection test.
#define IDS_TEST_RUNNING            220
#define IDS_READING_STATUS          221   // %1 the status
#define IDS_READING_WITH_CHARGE     222   // %1 the status, %2 the charge
#define IDS_READING_FAILED          223   // %1 why
#define IDS_FAILURE_REFUSED         224
#define IDS_FAILURE_UNKNOWN_UPS     225
#define IDS_FAILURE_DATA_STALE      226
#define IDS_FAILURE_DRIVER          227
#define IDS_FAILURE_NO_ANSWER       228
#define IDS_FAILURE_MALFORMED       229
#define IDS_FAILURE_HOST_UNKNOWN    230
#define IDS_LOGIN_ACCEPTED          231
#define IDS_LOGIN_REFUSED           232   // %1 why
#define IDS_LOGIN_ACCESS_DENIED     233
#define IDS_LOGIN_WRONG_PASSWORD    234
#define IDS_LOGIN_UNKNOWN_USER      235
#define IDS_LOGIN_NO_PASSWORD       236
// How the connection test's link came out.
#define IDS_LINK_VERIFIED           280   // %1 the protocol, %2 the certificate's subject
#define IDS_LINK_NOT_CHECKED        281   // %1 the fingerprint
#define IDS_LINK_REFUSED            282   // %1 why
#define IDS_LINK_CLEAR              283
#define IDS_LINK_CLEAR_LOGIN        284
#define IDS_REFUSAL_PIN             285
#define IDS_REFUSAL_OTHER_CA        286
#define IDS_REFUSAL_EXPIRED         287
#define IDS_REFUSAL_OLD_TLS         288
#define IDS_REFUSAL_NO_TLS          289
#define IDS_REFUSAL_REVOKED         278
#define IDS_REFUSAL_USAGE           279
#define IDS_REFUSAL_NAME            277   // %1 the name it should carry

// The Encryption list's items, in nut::TlsMode's order, and the CA's
// stand-ins in the certificate box.
#define IDS_TLS_OFF                 290
#define IDS_TLS_TRY                 291
#define IDS_TLS_REQUIRE             292
#define IDS_CA_STORED               293
#define IDS_CA_FILE                 294   // %1 the file's name
#define IDS_CA_FILE_FILTER          295   // names and patterns, '|' after each but the last

// The Notify list's items, in its order.
#define IDS_NOTIFY_OFF              296
#define IDS_NOTIFY_CRITICAL         297
#define IDS_NOTIFY_ALL              298

// The Shutdown group's actions, in the order of its list.
#define IDS_ACTION_SHUTDOWN         260
#define IDS_ACTION_HIBERNATE        261

// Saving, the service and the stored settings.
#define IDS_SAVE_NEEDS_ADMIN        240
#define IDS_SAVE_NEEDS_ELEVATION    241
#define IDS_SAVED                   242
#define IDS_SAVED_RESTARTED         243
#define IDS_SAVE_FAILED             244   // %1 why
#define IDS_SERVICE_NOT_INSTALLED   245
#define IDS_RESTART_FAILED          246   // %1 why
#define IDS_SETTING_IGNORED         247   // %1 the value's name
#define IDS_FIX_FIELDS              248
#define IDS_NO_ARGUMENTS            249
#define IDS_RESTARTING              250
// The status area.
#define IDS_STATE_SERVICE_STOPPED   300
#define IDS_STATE_NO_READING        301
#define IDS_STATE_ON_LINE           302
#define IDS_STATE_ON_BATTERY        303
#define IDS_STATE_BATTERY_LOW       304
#define IDS_STATE_NO_CONNECTION     305
#define IDS_STATE_CHARGING          306   // %1 the state
#define IDS_STATE_REPLACE_BATTERY   307   // %1 the state
#define IDS_VALUE_UNKNOWN           310
#define IDS_PERCENT                 311   // %1 the number
#define IDS_RUNTIME_MINUTES         312   // %1 minutes
#define IDS_RUNTIME_HOURS           313   // %1 hours, %2 minutes (two digits)
#define IDS_VOLTS                   314   // %1 volts, one decimal
#define IDS_SERVER_VERIFIED         315   // %1 the server read
#define IDS_SERVER_NOT_VERIFIED     316   // %1 the server read
#define IDS_SERVER_NOT_ENCRYPTED    317   // %1 the server read
#define IDS_PROTECTION_OFF          320
#define IDS_PROTECTION_ARMED        321   // %1 its rules, as the service words them
#define IDS_PROTECTION_NOT_LOGGED_IN 322  // %1 why
#define IDS_PROTECTION_WAITING      323   // %1 seconds left
#define IDS_PROTECTION_SHUTTING_DOWN_IN 324  // %1 seconds left, %2 why
#define IDS_PROTECTION_SHUTTING_DOWN 325  // %1 why
#define IDS_PROTECTION_REFUSED      326   // %1 Windows' error
#define IDS_PROTECTION_CANCELLED    327   // %1 why
#include "framework/AfxRes.h"   // AFX_IDS_APP_TITLE

#endif
