#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include "audio/tls_socket.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "audio/bass.h"

namespace audio {

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
constexpr int kReadChunk = 16384;
// A TLS record is at most 16 KiB plus its overhead, a handshake message
// (a certificate chain) rarely a tenth of this: more waiting bytes that do
// not decrypt are not TLS.
constexpr size_t kMaxIncoming = 256 * 1024;
constexpr int kSliceMs = 100;
// Revocation is not asked for; should a chain report it unknown, that is no fault.
constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Schannel and the certificate functions, loaded with the first TLS
// connection rather than with the engine: under Wine loading them takes 50 to
// 100 ms and over a megabyte, which a plain HTTP station never needs. They
// stay loaded for the life of the process.
struct TlsLibraries {
    PSecurityFunctionTableW sspi = nullptr;
    decltype(&CertGetCertificateChain) getChain = nullptr;
    decltype(&CertVerifyCertificateChainPolicy) verifyPolicy = nullptr;
    decltype(&CertFreeCertificateChain) freeChain = nullptr;
    decltype(&CertFreeCertificateContext) freeCertificate = nullptr;

    bool Loaded() const { return sspi && getChain && verifyPolicy && freeChain && freeCertificate; }
};

template <typename Function>
void Find(HMODULE library, const char* name, Function* function) {
    *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TlsLibraries LoadTlsLibraries() {
    TlsLibraries tls;
    if (HMODULE secur32 = LoadLibraryW(L"secur32.dll")) {
        INIT_SECURITY_INTERFACE_W init = nullptr;
        Find(secur32, "InitSecurityInterfaceW", &init);
        if (init) tls.sspi = init();
    }
    if (HMODULE crypt32 = LoadLibraryW(L"crypt32.dll")) {
        Find(crypt32, "CertGetCertificateChain", &tls.getChain);
        Find(crypt32, "CertVerifyCertificateChainPolicy", &tls.verifyPolicy);
        Find(crypt32, "CertFreeCertificateChain", &tls.freeChain);
        Find(crypt32, "CertFreeCertificateContext", &tls.freeCertificate);
    }
    return tls;
}

// Loaded once, by whichever thread connects first (a thread-safe static).
const TlsLibraries& Tls() {
    static const TlsLibraries tls = LoadTlsLibraries();
    return tls;
}

}  // namespace

struct TlsSocket::Sspi {
    CredHandle credentials{};
    CtxtHandle context{};
    bool haveCredentials = false;
    bool haveContext = false;
    SecPkgContext_StreamSizes sizes{};
};

TlsSocket::TlsSocket(std::unique_ptr<Socket> socket) : socket_(std::move(socket)), sspi_(new Sspi) {}

TlsSocket::~TlsSocket() {
    Close();
    if (sspi_->haveContext) Tls().sspi->DeleteSecurityContext(&sspi_->context);
    if (sspi_->haveCredentials) Tls().sspi->FreeCredentialsHandle(&sspi_->credentials);
}

void TlsSocket::Close() { socket_->Close(); }

int TlsSocket::Handshake(const std::string& host, int timeoutMs, CancelFlag cancel) {
    host_ = Widen(host);
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked in CheckCertificate, against the host name
    // too; no client certificate is ever offered.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    if (!Tls().Loaded()) return BASS_ERROR_SSL;
    if (Tls().sspi->AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &cred, nullptr, nullptr, &sspi_->credentials, &expiry) != SEC_E_OK) {
        return BASS_ERROR_SSL;
    }
    sspi_->haveCredentials = true;
    int error = Negotiate(timeoutMs, cancel);
    if (error) return error;
    error = CheckCertificate();
    if (error) return error;
    if (Tls().sspi->QueryContextAttributesW(&sspi_->context, SECPKG_ATTR_STREAM_SIZES, &sspi_->sizes) != SEC_E_OK) {
        return BASS_ERROR_SSL;
    }
    return 0;
}

// The client's first message has no input; then each server message (in
// incoming_) is answered until the context is complete. Bytes past the
// last handshake message stay in incoming_ as the first records of data.
int TlsSocket::Negotiate(int timeoutMs, CancelFlag cancel) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A renegotiation starts from the server's message, already received.
    bool needInput = sspi_->haveContext && incoming_.empty();
    for (;;) {
        if (needInput) {
            char chunk[kReadChunk];
            int n = kRecvTimeout;
            while (n == kRecvTimeout) {
                int left = MillisecondsLeft(deadline);
                if (left == 0 || (cancel && *cancel)) return BASS_ERROR_TIMEOUT;
                n = socket_->Recv(chunk, sizeof chunk, std::min(left, kSliceMs));
            }
            // Closed or reset in the middle: the server broke the handshake off.
            if (n <= 0) return BASS_ERROR_SSL;
            incoming_.insert(incoming_.end(), chunk, chunk + n);
            if (incoming_.size() > kMaxIncoming) return BASS_ERROR_SSL;
        }
        SecBuffer in[2] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
        unsigned long got = 0;
        const bool first = !sspi_->haveContext;
        SECURITY_STATUS status = Tls().sspi->InitializeSecurityContextW(
            &sspi_->credentials, first ? nullptr : &sspi_->context, const_cast<wchar_t*>(host_.c_str()),
            kContextFlags, 0, 0, first ? nullptr : &inDesc, 0, &sspi_->context, &outDesc, &got, nullptr);
        if (first) sspi_->haveContext = status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK;
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            needInput = true;
            continue;
        }
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
            needInput = false;  // the server asks for a client certificate: go on without one
            continue;
        }
        // An answer goes out even with a failure: it may be the alert that tells the server why.
        bool sent = SendToken(&out[0]);
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) return BASS_ERROR_SSL;
        if (!sent) return BASS_ERROR_SSL;
        if (!first && in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer <= incoming_.size()) {
            incoming_.erase(incoming_.begin(), incoming_.end() - in[1].cbBuffer);
        } else if (!first) {
            incoming_.clear();
        }
        if (status == SEC_E_OK) return 0;
        needInput = incoming_.empty();
    }
}

bool TlsSocket::SendToken(void* buffer) {
    auto* token = static_cast<SecBuffer*>(buffer);
    if (!token->pvBuffer) return true;
    bool ok = token->cbBuffer == 0 ||
              socket_->SendAll(std::string(static_cast<char*>(token->pvBuffer), token->cbBuffer), 5000);
    Tls().sspi->FreeContextBuffer(token->pvBuffer);
    return ok;
}

int TlsSocket::CheckCertificate() const {
    PCCERT_CONTEXT cert = nullptr;
    if (Tls().sspi->QueryContextAttributesW(&sspi_->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
        return BASS_ERROR_SSL;
    }
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool trusted = false;
    if (Tls().getChain(nullptr, cert, nullptr, cert->hCertStore, &chainPara, 0, nullptr, &chain)) {
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = const_cast<wchar_t*>(host_.c_str());
        CERT_CHAIN_POLICY_PARA policy{};
        policy.cbSize = sizeof policy;
        policy.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS status{};
        status.cbSize = sizeof status;
        // The chain's own status too: Wine's SSL policy passes a chain that
        // ends at an unknown CA (a partial chain) as trusted.
        trusted = (chain->TrustStatus.dwErrorStatus & ~kRevocationUnknown) == CERT_TRUST_NO_ERROR &&
                  Tls().verifyPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
                  status.dwError == 0;
        Tls().freeChain(chain);
    }
    Tls().freeCertificate(cert);
    return trusted ? 0 : BASS_ERROR_SSL;
}

bool TlsSocket::SendAll(const std::string& data, int timeoutMs) {
    const SecPkgContext_StreamSizes& sizes = sspi_->sizes;
    if (sizes.cbMaximumMessage == 0) return false;
    std::vector<char> record(sizes.cbHeader + sizes.cbMaximumMessage + sizes.cbTrailer);
    for (size_t at = 0; at < data.size();) {
        unsigned long n = static_cast<unsigned long>(std::min<size_t>(data.size() - at, sizes.cbMaximumMessage));
        std::memcpy(record.data() + sizes.cbHeader, data.data() + at, n);
        SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {n, SECBUFFER_DATA, record.data() + sizes.cbHeader},
                                {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + n},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (Tls().sspi->EncryptMessage(&sspi_->context, 0, &desc, 0) != SEC_E_OK) return false;
        size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
        if (!socket_->SendAll(std::string(record.data(), total), timeoutMs)) return false;
        at += n;
    }
    return true;
}

int TlsSocket::Recv(char* buffer, int size, int waitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (plainAt_ < plain_.size()) return TakePlain(buffer, size);
        if (closed_) return kRecvClosed;
        if (!incoming_.empty()) {
            Decrypted d = DecryptRecord();
            if (d == Decrypted::kFailed) return kRecvError;
            if (d != Decrypted::kNeedMore) continue;  // data, a record without any, or the end
        }
        char chunk[kReadChunk];
        // A time-out, or the connection closed (without the TLS goodbye) or failed.
        int n = socket_->Recv(chunk, sizeof chunk, MillisecondsLeft(deadline));
        if (n <= 0) return n;
        incoming_.insert(incoming_.end(), chunk, chunk + n);
    }
}

TlsSocket::Decrypted TlsSocket::DecryptRecord() {
    SecBuffer buffers[4] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = Tls().sspi->DecryptMessage(&sspi_->context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
        return incoming_.size() > kMaxIncoming ? Decrypted::kFailed : Decrypted::kNeedMore;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
        return Decrypted::kFailed;
    }
    // The data is decrypted in place inside incoming_: copy it out before
    // the extra bytes (the next records) move to the front.
    plain_.erase(plain_.begin(), plain_.begin() + static_cast<ptrdiff_t>(plainAt_));
    plainAt_ = 0;
    std::vector<char> extra;
    for (const SecBuffer& b : buffers) {
        const char* p = static_cast<const char*>(b.pvBuffer);
        if (b.BufferType == SECBUFFER_DATA && p) plain_.insert(plain_.end(), p, p + b.cbBuffer);
        // The next records are at the end of incoming_ (wherever pvBuffer points).
        if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer <= incoming_.size()) {
            extra.assign(incoming_.end() - b.cbBuffer, incoming_.end());
        }
    }
    incoming_.swap(extra);
    if (status == SEC_I_CONTEXT_EXPIRED) {
        closed_ = true;
        return Decrypted::kEnded;
    }
    // A post-handshake message (a TLS 1.3 session ticket, a key update):
    // Schannel wants it handed back to the handshake.
    if (status == SEC_I_RENEGOTIATE && Negotiate(5000, nullptr) != 0) return Decrypted::kFailed;
    return Decrypted::kRecord;
}

int TlsSocket::TakePlain(char* buffer, int size) {
    size_t n = std::min(plain_.size() - plainAt_, static_cast<size_t>(size));
    std::memcpy(buffer, plain_.data() + plainAt_, n);
    plainAt_ += n;
    return static_cast<int>(n);
}

}  // namespace audio
