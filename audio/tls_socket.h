// TLS over a connected Socket with the system's own implementation:
// Schannel through SSPI (on Wine, Schannel on GnuTLS). No library of ours.
//
// The server's certificate is checked by us, not by Schannel: its chain
// must end at one of the system's trusted roots, be valid now and be made
// for the host name asked for (CertVerifyCertificateChainPolicy's SSL
// policy). A certificate that fails is BASS_ERROR_SSL, like a handshake
// the server breaks off.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "audio/socket.h"

namespace audio {

class TlsSocket : public Connection {
public:
    explicit TlsSocket(std::unique_ptr<Socket> socket);
    ~TlsSocket() override;
    TlsSocket(const TlsSocket&) = delete;
    TlsSocket& operator=(const TlsSocket&) = delete;

    // The handshake and the certificate check, within timeoutMs: 0,
    // BASS_ERROR_SSL (refused, broken off, not TLS, an untrusted
    // certificate) or BASS_ERROR_TIMEOUT (also soon after `cancel` is set).
    int Handshake(const std::string& host, int timeoutMs, CancelFlag cancel = nullptr);

    bool SendAll(const std::string& data, int timeoutMs) override;
    int Recv(char* buffer, int size, int waitMs) override;
    void Close() override;

private:
    struct Sspi;  // the credentials and context handles, the record sizes

    // Runs handshake messages until the context is complete; `incoming_`
    // holds what the server sent so far. 0 or an error code.
    int Negotiate(int timeoutMs, CancelFlag cancel);
    bool SendToken(void* buffer);
    int CheckCertificate() const;
    enum class Decrypted { kRecord, kNeedMore, kEnded, kFailed };
    // Decrypts one record of `incoming_`, adding its data to `plain_`.
    Decrypted DecryptRecord();
    int TakePlain(char* buffer, int size);

    std::unique_ptr<Socket> socket_;
    std::unique_ptr<Sspi> sspi_;
    std::wstring host_;
    std::vector<char> incoming_;  // received, not yet decrypted
    std::vector<char> plain_;     // decrypted, not yet handed out
    size_t plainAt_ = 0;
    bool closed_ = false;         // the server ended the session
};

}  // namespace audio
