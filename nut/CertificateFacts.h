// What the system says about the certificate a TLS server presented: its
// SHA-256 and subject, and with a CA, the chain the system's engine builds
// from it (through the CA and what the server sent along) and the SSL
// policy's verdict on its name. ServerCertificate.h judges these facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "nut/SecurityHandles.h"
#include "nut/ServerCertificate.h"
#include "nut/TlsPolicy.h"

namespace nut {

// Fills everything in `facts` but the version. Empty on success, else why
// the system could not say ("the CA certificate cannot be read"...).
std::string GatherServerFacts(PCCERT_CONTEXT leaf, TlsPolicy const& policy, std::wstring const& expectedName,
                              ServerFacts& facts);

// SHA-256 with CNG (crypt32's own SHA-256 property is missing under Wine).
std::string Sha256Of(std::uint8_t const* data, std::size_t size, Sha256& digest);

}  // namespace nut
