#include <winsock2.h>
#include <ws2tcpip.h>

#include "audio/socket.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "audio/bass.h"

namespace audio {

namespace {

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// select() on one socket: 1 ready, 0 timed out, -1 failed.
int WaitSocket(SOCKET s, bool forWrite, int waitMs, bool* failed = nullptr) {
    fd_set set, errors;
    FD_ZERO(&set);
    FD_ZERO(&errors);
    FD_SET(s, &set);
    FD_SET(s, &errors);
    timeval tv{waitMs / 1000, (waitMs % 1000) * 1000};
    int r = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &errors, &tv);
    if (failed) *failed = r > 0 && FD_ISSET(s, &errors);
    return r;
}

}  // namespace

bool StartSockets() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return ok;
}

Socket::~Socket() { Close(); }

void Socket::Close() {
    if (socket_ != kNoSocket) {
        closesocket(static_cast<SOCKET>(socket_));
        socket_ = kNoSocket;
    }
}

int Socket::Connect(const std::string& host, int port, int timeoutMs, CancelFlag cancel) {
    Close();
    if (!StartSockets()) return BASS_ERROR_NONET;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
        return BASS_ERROR_NONET;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int result = BASS_ERROR_FILEOPEN;
    for (addrinfo* a = found; a; a = a->ai_next) {
        int left = MillisecondsLeft(deadline);
        if (left == 0) {
            result = BASS_ERROR_TIMEOUT;
            break;
        }
        result = ConnectOne(a->ai_addr, static_cast<int>(a->ai_addrlen), left, cancel);
        if (result == 0) break;
    }
    freeaddrinfo(found);
    return result;
}

int Socket::ConnectOne(const void* target, int length, int timeoutMs, CancelFlag cancel) {
    const auto* address = static_cast<const sockaddr*>(target);
    SOCKET s = socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return BASS_ERROR_NONET;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, address, length) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        closesocket(s);
        return BASS_ERROR_FILEOPEN;
    }
    // In slices, so that a cancel ends the wait soon.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool failed = false;
    int r = 0;
    for (int left = timeoutMs; left > 0 && r == 0 && !(cancel && *cancel); left = MillisecondsLeft(deadline)) {
        r = WaitSocket(s, true, std::min(left, 100), &failed);
    }
    int error = 0;
    int size = sizeof error;
    if (r > 0 && !failed) getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
    if (r <= 0 || failed || error != 0) {
        closesocket(s);
        return r == 0 ? BASS_ERROR_TIMEOUT : BASS_ERROR_FILEOPEN;
    }
    socket_ = static_cast<uintptr_t>(s);
    return 0;
}

bool Socket::SendAll(const std::string& data, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < data.size()) {
        if (WaitSocket(Handle(), true, MillisecondsLeft(deadline)) <= 0) return false;
        int n = send(Handle(), data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return false;
        }
        sent += n;
    }
    return true;
}

int Socket::Recv(char* buffer, int size, int waitMs) {
    if (socket_ == kNoSocket) return kRecvError;
    int r = WaitSocket(Handle(), false, waitMs);
    if (r == 0) return kRecvTimeout;
    if (r < 0) return kRecvError;
    int n = recv(Handle(), buffer, size, 0);
    if (n > 0) return n;
    if (n == 0) return kRecvClosed;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kRecvTimeout : kRecvError;
}

}  // namespace audio
