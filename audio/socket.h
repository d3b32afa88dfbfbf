// A TCP client socket on Winsock with time-outs on every wait, and the
// interface the HTTP client reads and writes through (plain, or TLS in
// tls_socket.h).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace audio {

// Set by another thread to end a wait early; null: nobody cancels.
using CancelFlag = const std::atomic<bool>*;

// Results of Socket::Recv besides a byte count.
constexpr int kRecvClosed = 0;     // the peer closed the connection
constexpr int kRecvTimeout = -1;   // nothing arrived within the wait
constexpr int kRecvError = -2;     // the connection failed

class Connection {
public:
    virtual ~Connection() = default;
    // Sends everything within timeoutMs; false on failure.
    virtual bool SendAll(const std::string& data, int timeoutMs) = 0;
    // Waits up to waitMs for data; returns bytes read (> 0) or a kRecv code.
    virtual int Recv(char* buffer, int size, int waitMs) = 0;
    virtual void Close() = 0;
};

class Socket : public Connection {
public:
    Socket() = default;
    ~Socket() override;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Resolves host and connects within timeoutMs. Returns an engine error
    // code: 0, BASS_ERROR_NONET (no Winsock or unknown host),
    // BASS_ERROR_FILEOPEN (refused or unreachable) or BASS_ERROR_TIMEOUT
    // (also when `cancel` was set meanwhile).
    int Connect(const std::string& host, int port, int timeoutMs, CancelFlag cancel = nullptr);
    bool SendAll(const std::string& data, int timeoutMs) override;
    int Recv(char* buffer, int size, int waitMs) override;
    void Close() override;
    bool IsOpen() const { return socket_ != kNoSocket; }

private:
    // Winsock's SOCKET, kept as its integer type so that users of this
    // header need not include winsock2.h before windows.h.
    static constexpr uintptr_t kNoSocket = ~uintptr_t{0};
    int ConnectOne(const void* address, int length, int timeoutMs, CancelFlag cancel);
    unsigned Handle() const { return static_cast<unsigned>(socket_); }
    uintptr_t socket_ = kNoSocket;
};

// Starts Winsock once for the process; false when it is not available.
bool StartSockets();

}  // namespace audio
