#include "nut/CertificateFacts.h"

namespace nut {

static_assert(chain_error::kNotTimeValid == CERT_TRUST_IS_NOT_TIME_VALID, "wincrypt.h");
static_assert(chain_error::kRevoked == CERT_TRUST_IS_REVOKED, "wincrypt.h");
static_assert(chain_error::kNotSignatureValid == CERT_TRUST_IS_NOT_SIGNATURE_VALID, "wincrypt.h");
static_assert(chain_error::kNotValidForUsage == CERT_TRUST_IS_NOT_VALID_FOR_USAGE, "wincrypt.h");
static_assert(chain_error::kUntrustedRoot == CERT_TRUST_IS_UNTRUSTED_ROOT, "wincrypt.h");
static_assert(chain_error::kRevocationUnknown == CERT_TRUST_REVOCATION_STATUS_UNKNOWN, "wincrypt.h");
static_assert(chain_error::kPartialChain == CERT_TRUST_IS_PARTIAL_CHAIN, "wincrypt.h");
static_assert(chain_error::kOfflineRevocation == CERT_TRUST_IS_OFFLINE_REVOCATION, "wincrypt.h");
static_assert(policy_error::kExpired == static_cast<std::uint32_t>(CERT_E_EXPIRED), "winerror.h");
static_assert(policy_error::kNameMismatch == static_cast<std::uint32_t>(CERT_E_CN_NO_MATCH), "winerror.h");
static_assert(policy_error::kWrongUsage == static_cast<std::uint32_t>(CERT_E_WRONG_USAGE), "winerror.h");

namespace {

DWORD const kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// SECURITY_FLAG_IGNORE_UNKNOWN_CA (wininet.h): the root is the CA we were
// given, which the system need not trust; its bytes are compared instead.
DWORD const kIgnoreUnknownCa = 0x00000100;

bool Succeeded(NTSTATUS status) { return status >= 0; }

std::string SubjectOf(PCCERT_CONTEXT leaf) {
    CERT_NAME_BLOB* name = &leaf->pCertInfo->Subject;
    DWORD const size = ::CertNameToStrA(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, nullptr, 0);
    if (size <= 1) return std::string();
    std::string text(size, '\0');
    ::CertNameToStrA(X509_ASN_ENCODING, name, CERT_X500_NAME_STR, &text[0], size);
    text.resize(size - 1);
    return text;
}

// The CA and what the server sent with its certificate, as one store the
// chain engine may take issuers from.
std::string IssuerStore(PCCERT_CONTEXT leaf, std::vector<std::uint8_t> const& caDer, UniqueCertStore& issuers,
                        UniqueCertStore& ca) {
    issuers.reset(::CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr));
    ca.reset(::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr));
    if (!issuers || !ca) return "cannot make a certificate store";
    if (!::CertAddEncodedCertificateToStore(ca.get(), kEncoding, caDer.data(), static_cast<DWORD>(caDer.size()),
                                            CERT_STORE_ADD_ALWAYS, nullptr)) {
        return "the CA certificate cannot be read";
    }
    if (!::CertAddStoreToCollection(issuers.get(), ca.get(), 0, 0) ||
        (leaf->hCertStore != nullptr && !::CertAddStoreToCollection(issuers.get(), leaf->hCertStore, 0, 1))) {
        return "cannot make a certificate store";
    }
    return std::string();
}

std::string NameVerdict(PCCERT_CHAIN_CONTEXT chain, std::wstring const& expectedName, ServerFacts& facts) {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kIgnoreUnknownCa;
    std::wstring name = expectedName;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &para, &status)) {
        return "the certificate's name cannot be checked";
    }
    facts.policyError = status.dwError;
    return std::string();
}

std::string ChainFacts(PCCERT_CONTEXT leaf, TlsPolicy const& policy, std::wstring const& expectedName,
                       ServerFacts& facts) {
    UniqueCertStore issuers;
    UniqueCertStore ca;
    std::string const failure = IssuerStore(leaf, policy.caDer, issuers, ca);
    if (!failure.empty()) return failure;

    LPSTR serverAuth[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = serverAuth;
    UniqueCertChain chain;
    // The default engine; revocation is not asked (a private CA seldom
    // publishes a list, and an unanswered lookup would stall the poll).
    if (!::CertGetCertificateChain(nullptr, leaf, nullptr, issuers.get(), &para, 0, nullptr, chain.put())) {
        return std::string();  // no chain: facts.chainBuilt stays false
    }
    CERT_SIMPLE_CHAIN const* simple = chain.get()->cChain > 0 ? chain.get()->rgpChain[0] : nullptr;
    if (simple == nullptr || simple->cElement == 0) return std::string();
    PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
    facts.chainBuilt = true;
    facts.chainErrors = chain.get()->TrustStatus.dwErrorStatus;
    facts.rootDer.assign(root->pbCertEncoded, root->pbCertEncoded + root->cbCertEncoded);
    return NameVerdict(chain.get(), expectedName, facts);
}

}  // namespace

std::string Sha256Of(std::uint8_t const* data, std::size_t size, Sha256& digest) {
    UniqueHashAlgorithm algorithm;
    UniqueHash hash;
    if (!Succeeded(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) ||
        !Succeeded(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0)) ||
        !Succeeded(::BCryptHashData(hash.get(), const_cast<PUCHAR>(data), static_cast<ULONG>(size), 0)) ||
        !Succeeded(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        return "cannot compute SHA-256";
    }
    return std::string();
}

std::string GatherServerFacts(PCCERT_CONTEXT leaf, TlsPolicy const& policy, std::wstring const& expectedName,
                              ServerFacts& facts) {
    std::string const failure = Sha256Of(leaf->pbCertEncoded, leaf->cbCertEncoded, facts.leafSha256);
    if (!failure.empty()) return failure;
    facts.subject = SubjectOf(leaf);
    if (policy.check != TlsCheck::Ca) return std::string();
    return ChainFacts(leaf, policy, expectedName, facts);
}

}  // namespace nut
