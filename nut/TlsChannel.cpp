#include "nut/TlsChannel.h"

#include <algorithm>
#include <cstdio>

namespace nut {

namespace {

ULONG const kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                              ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                              ISC_REQ_MANUAL_CRED_VALIDATION;
std::size_t const kReceiveChunk = 4096;
// Bytes of a server's handshake SChannel has not yet taken: far beyond a
// certificate chain, so only a peer sending garbage reaches it.
std::size_t const kLongestHandshakeBytes = 64 * 1024;
// A TLS record: 5 bytes of header and at most 2^14 + 2048 of ciphertext.
std::size_t const kLongestRecordBytes = 5 + 16384 + 2048;

std::string DescribeStatus(SECURITY_STATUS status) {
    switch (status) {
    case SEC_E_ALGORITHM_MISMATCH: return "no TLS version or cipher in common";
    case SEC_E_ILLEGAL_MESSAGE: return "malformed TLS message";
    case SEC_E_UNSUPPORTED_FUNCTION: return "the server's TLS is not supported";
    default: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

SecBuffer Buffer(ULONG type, void* data = nullptr, std::size_t size = 0) {
    SecBuffer buffer;
    buffer.cbBuffer = static_cast<ULONG>(size);
    buffer.BufferType = type;
    buffer.pvBuffer = data;
    return buffer;
}

SecBufferDesc Buffers(SecBuffer* buffers, ULONG count) {
    SecBufferDesc description;
    description.ulVersion = SECBUFFER_VERSION;
    description.cBuffers = count;
    description.pBuffers = buffers;
    return description;
}

std::string TokenText(UniqueContextBuffer const& token, SecBuffer const& buffer) {
    if (!token || buffer.cbBuffer == 0) return std::string();
    return std::string(static_cast<char const*>(token.get()), buffer.cbBuffer);
}

}  // namespace

std::string TlsChannel::Acquire() {
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // Asked for by name: Windows 7 has TLS 1.2 off unless a program asks.
    settings.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    SecHandle fresh;
    TimeStamp expiry;
    SECURITY_STATUS const status =
        ::AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                    &settings, nullptr, nullptr, &fresh, &expiry);
    if (status != SEC_E_OK) return "TLS is not available (" + DescribeStatus(status) + ")";
    credentials_.reset(fresh);
    return std::string();
}

std::string TlsChannel::Handshake(std::wstring const& serverName, Transport& transport) {
    serverName_ = serverName;
    std::string failure = Acquire();
    for (bool done = false; failure.empty() && !done;) failure = HandshakeStep(transport, done);
    if (!failure.empty()) return failure;
    SECURITY_STATUS const status = ::QueryContextAttributesW(context_.get(), SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (status != SEC_E_OK) return "TLS failed (" + DescribeStatus(status) + ")";
    return std::string();
}

std::string TlsChannel::HandshakeStep(Transport& transport, bool& done) {
    bool const first = !context_;
    SecBuffer input[2] = {Buffer(SECBUFFER_TOKEN, &incoming_[0], incoming_.size()), Buffer(SECBUFFER_EMPTY)};
    SecBufferDesc inputs = Buffers(input, 2);
    SecBuffer output[1] = {Buffer(SECBUFFER_TOKEN)};
    SecBufferDesc outputs = Buffers(output, 1);
    SecHandle fresh;
    SecInvalidateHandle(&fresh);
    ULONG attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS const status = ::InitializeSecurityContextW(
        credentials_.get(), first ? nullptr : context_.get(), &serverName_[0], kContextRequest, 0, 0,
        first ? nullptr : &inputs, 0, first ? &fresh : nullptr, &outputs, &attributes, &expiry);
    UniqueContextBuffer token(output[0].pvBuffer);
    if (first && !FAILED(status)) context_.reset(fresh);

    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (incoming_.size() >= kLongestHandshakeBytes) return "TLS handshake too long";
        return transport.Receive(incoming_, kReceiveChunk);
    }
    // On failure the token, when there is one, is the alert that says why.
    std::string const sent = transport.Send(TokenText(token, output[0]));
    if (FAILED(status)) return "TLS handshake failed (" + DescribeStatus(status) + ")";
    if (!sent.empty()) return sent;
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
        // The server asks for a client certificate; the same input again
        // goes on without one, once.
        if (askedForClientCertificate_) return "the server asks for a client certificate";
        askedForClientCertificate_ = true;
        return std::string();
    }
    // What SChannel did not take belongs to the next message.
    if (input[1].BufferType == SECBUFFER_EXTRA) {
        incoming_.erase(0, incoming_.size() - input[1].cbBuffer);
    } else if (!first) {
        incoming_.clear();
    }
    if (status == SEC_E_OK) {
        done = true;
        return std::string();
    }
    if (status != SEC_I_CONTINUE_NEEDED) return "TLS handshake failed (" + DescribeStatus(status) + ")";
    return incoming_.empty() ? transport.Receive(incoming_, kReceiveChunk) : std::string();
}

TlsVersion TlsChannel::Version() {
    SecPkgContext_ConnectionInfo info{};
    if (::QueryContextAttributesW(context_.get(), SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) {
        return TlsVersion::Unknown;
    }
    if (info.dwProtocol & SP_PROT_TLS1_3) return TlsVersion::Tls13;
    if (info.dwProtocol & SP_PROT_TLS1_2) return TlsVersion::Tls12;
    if (info.dwProtocol & SP_PROT_TLS1_1) return TlsVersion::Tls11;
    if (info.dwProtocol & SP_PROT_TLS1_0) return TlsVersion::Tls10;
    if (info.dwProtocol & SP_PROT_SSL3) return TlsVersion::Ssl3;
    return TlsVersion::Unknown;
}

std::string TlsChannel::RemoteCertificate(UniqueCertContext& certificate) {
    PCCERT_CONTEXT remote = nullptr;
    SECURITY_STATUS const status =
        ::QueryContextAttributesW(context_.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote);
    certificate.reset(remote);
    if (status != SEC_E_OK || !certificate) return "the server sent no certificate";
    return std::string();
}

std::string TlsChannel::Seal(std::string const& plain, std::string& record) {
    for (std::size_t at = 0; at < plain.size();) {
        std::size_t const size = std::min<std::size_t>(plain.size() - at, sizes_.cbMaximumMessage);
        std::string buffer(sizes_.cbHeader + size + sizes_.cbTrailer, '\0');
        std::copy(plain.begin() + at, plain.begin() + at + size, buffer.begin() + sizes_.cbHeader);
        SecBuffer parts[4] = {Buffer(SECBUFFER_STREAM_HEADER, &buffer[0], sizes_.cbHeader),
                              Buffer(SECBUFFER_DATA, &buffer[sizes_.cbHeader], size),
                              Buffer(SECBUFFER_STREAM_TRAILER, &buffer[sizes_.cbHeader + size], sizes_.cbTrailer),
                              Buffer(SECBUFFER_EMPTY)};
        SecBufferDesc message = Buffers(parts, 4);
        SECURITY_STATUS const status = ::EncryptMessage(context_.get(), 0, &message, 0);
        if (status != SEC_E_OK) return "TLS failed (" + DescribeStatus(status) + ")";
        // The trailer may come out shorter than its room.
        record.append(buffer, 0, parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer);
        at += size;
    }
    return std::string();
}

std::string TlsChannel::Send(std::string const& plain, Transport& transport) {
    std::string record;
    std::string const failure = Seal(plain, record);
    return failure.empty() ? transport.Send(record) : failure;
}

std::string TlsChannel::Open(std::string& plain, bool& opened) {
    opened = false;
    if (incoming_.empty()) return std::string();
    SecBuffer parts[4] = {Buffer(SECBUFFER_DATA, &incoming_[0], incoming_.size()), Buffer(SECBUFFER_EMPTY),
                          Buffer(SECBUFFER_EMPTY), Buffer(SECBUFFER_EMPTY)};
    SecBufferDesc message = Buffers(parts, 4);
    SECURITY_STATUS const status = ::DecryptMessage(context_.get(), &message, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        return incoming_.size() >= kLongestRecordBytes ? "malformed TLS record" : std::string();
    }
    // The server's close_notify.
    if (status == SEC_I_CONTEXT_EXPIRED) return "connection closed by the server";
    // A new handshake mid-link could bring another certificate: the link
    // ends and the next connection is checked afresh.
    if (status == SEC_I_RENEGOTIATE) return "the server asked to renegotiate TLS";
    if (status != SEC_E_OK) return "TLS record refused (" + DescribeStatus(status) + ")";
    std::size_t extra = 0;
    for (SecBuffer const& part : parts) {
        if (part.BufferType == SECBUFFER_DATA) plain.append(static_cast<char const*>(part.pvBuffer), part.cbBuffer);
        if (part.BufferType == SECBUFFER_EXTRA) extra = part.cbBuffer;
    }
    incoming_.erase(0, incoming_.size() - std::min(extra, incoming_.size()));
    opened = true;
    return std::string();
}

std::string TlsChannel::Receive(std::string& plain, Transport& transport) {
    std::size_t const before = plain.size();
    for (;;) {
        bool opened = false;
        std::string failure = Open(plain, opened);
        if (!failure.empty()) return failure;
        if (plain.size() > before) return std::string();
        // A record without data may be followed by more already received.
        if (opened) continue;
        failure = transport.Receive(incoming_, kReceiveChunk);
        if (!failure.empty()) return failure;
    }
}

std::string TlsChannel::CloseNotify() {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control[1] = {Buffer(SECBUFFER_TOKEN, &type, sizeof type)};
    SecBufferDesc controls = Buffers(control, 1);
    if (::ApplyControlToken(context_.get(), &controls) != SEC_E_OK) return std::string();
    SecBuffer output[1] = {Buffer(SECBUFFER_TOKEN)};
    SecBufferDesc outputs = Buffers(output, 1);
    ULONG attributes = 0;
    TimeStamp expiry;
    SECURITY_STATUS const status =
        ::InitializeSecurityContextW(credentials_.get(), context_.get(), &serverName_[0], kContextRequest, 0, 0,
                                     nullptr, 0, nullptr, &outputs, &attributes, &expiry);
    UniqueContextBuffer token(output[0].pvBuffer);
    return FAILED(status) ? std::string() : TokenText(token, output[0]);
}

std::string TlsChannel::Farewell(std::string const& last) {
    std::string bytes;
    if (!context_) return bytes;
    if (!Seal(last, bytes).empty()) bytes.clear();
    return bytes + CloseNotify();
}

}  // namespace nut
