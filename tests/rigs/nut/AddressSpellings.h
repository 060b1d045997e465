// Names and hosts as people type them into each front end: as one address
// (command line, setup) and as fields (dialog, registry). Every front end's
// tests take this table, so none accepts what another refuses.
#pragma once

#include "nut/NutProtocol.h"

namespace nut_spellings {

struct Spelling {
    char const *upsName, *host, *address;
    char const* stored;        // the host as stored; null: refused for this part
    nut::AddressPart refused;
};

Spelling const kSpellings[] = {
    {"ups", "nas.lan", "ups@nas.lan", "nas.lan", {}},
    {"ups", "[fe80::1]", "ups@[fe80::1]", "fe80::1", {}},
    {"ups", "::1", "ups@[::1]:3493", "::1", {}},
    {"ups", "nas$1", "ups@nas$1", nullptr, nut::AddressPart::Host},
    {"ups", "nas,lan", "ups@nas,lan", nullptr, nut::AddressPart::Host},
    {"ups", "[nas]", "ups@[nas]", nullptr, nut::AddressPart::Host},
    {"ups", "cafe:80", "ups@[cafe:80]", nullptr, nut::AddressPart::Host},
    {"test#ups", "nas", "test#ups@nas", nullptr, nut::AddressPart::UpsName},
};

}  // namespace nut_spellings
