#include "platform/Socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::optional<uint16_t> ParsePort(const std::string& text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
        return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

void SetFlag(int fd, int level, int option) {
    int on = 1;
    setsockopt(fd, level, option, &on, sizeof on);
}

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

std::optional<HostPort> ParseHostPort(const std::string& address, uint16_t defaultPort) {
    HostPort result;
    result.port = defaultPort;
    std::string rest;
    if (!address.empty() && address.front() == '[') {
        size_t close = address.find(']');
        if (close == std::string::npos) {
            return std::nullopt;
        }
        result.host = address.substr(1, close - 1);
        rest = address.substr(close + 1);
        if (!rest.empty() && rest.front() != ':') {
            return std::nullopt;
        }
    } else {
        size_t colon = address.find(':');
        bool singleColon = colon != std::string::npos && address.find(':', colon + 1) == std::string::npos;
        result.host = singleColon ? address.substr(0, colon) : address;
        if (singleColon) {
            rest = address.substr(colon);
        }
    }
    if (result.host.empty()) {
        return std::nullopt;
    }
    if (!rest.empty()) {
        std::optional<uint16_t> port = ParsePort(rest.substr(1));
        if (!port) {
            return std::nullopt;
        }
        result.port = *port;
    }
    return result;
}

std::optional<SocketAddress> ResolveAddress(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    SocketAddress address;
    std::optional<SocketAddress> result;
    if (found->ai_addrlen <= address.bytes.size()) {
        std::memcpy(address.bytes.data(), found->ai_addr, found->ai_addrlen);
        address.length = found->ai_addrlen;
        result = address;
    }
    freeaddrinfo(found);
    return result;
}

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool TcpSocket::WaitToConnect(int timeoutMs, const std::function<bool()>& abandon) const {
    constexpr int kSliceMs = 200;
    for (int waited = 0; waited < timeoutMs; waited += kSliceMs) {
        if (WaitFor(POLLOUT, std::min(kSliceMs, timeoutMs - waited))) {
            return true;
        }
        if (abandon && abandon()) {
            return false;
        }
    }
    return false;
}

bool TcpSocket::WaitFor(short events, int timeoutMs) const {
    pollfd entry{fd_, events, 0};
    for (;;) {
        int ready = poll(&entry, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

bool TcpSocket::Connect(const SocketAddress& address, int timeoutMs, const std::function<bool()>& abandon) {
    Close();
    const auto* target = reinterpret_cast<const sockaddr*>(address.bytes.data());
    if (address.length == 0) {
        return false;
    }
    fd_ = socket(target->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    SetFlag(fd_, SOL_SOCKET, SO_KEEPALIVE);
    SetFlag(fd_, IPPROTO_TCP, TCP_NODELAY);
    if (!SetNonBlocking(fd_)) {
        Close();
        return false;
    }
    if (connect(fd_, target, address.length) != 0) {
        int error = 0;
        socklen_t length = sizeof error;
        if (errno != EINPROGRESS || !WaitToConnect(timeoutMs, abandon) ||
            getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            Close();
            return false;
        }
    }
    return true;
}

size_t TcpSocket::Send(const char* bytes, size_t count, int timeoutMs) {
    size_t sent = 0;
    while (fd_ >= 0 && sent < count) {
        ssize_t n = send(fd_, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && WouldBlock(errno) && WaitFor(POLLOUT, timeoutMs)) {
            continue;
        } else {
            break;
        }
    }
    return sent;
}

ReceiveResult TcpSocket::Receive(char* buffer, size_t capacity, int timeoutMs) {
    if (fd_ < 0) {
        return {ReceiveStatus::Failed, 0};
    }
    bool waited = false;
    for (;;) {
        ssize_t n = recv(fd_, buffer, capacity, 0);
        if (n > 0) {
            SetFlag(fd_, IPPROTO_TCP, TCP_QUICKACK);
            return {ReceiveStatus::Data, static_cast<size_t>(n)};
        }
        if (n == 0) {
            return {ReceiveStatus::Closed, 0};
        }
        if (errno == EINTR) {
            continue;
        }
        if (!WouldBlock(errno)) {
            return {ReceiveStatus::Failed, 0};
        }
        if (waited || !WaitFor(POLLIN, timeoutMs)) {
            return {ReceiveStatus::TimedOut, 0};
        }
        waited = true;
    }
}

void TcpSocket::SetAbortiveClose() {
    linger abort{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

TcpListener::~TcpListener() {
    Close();
}

bool TcpListener::Listen(const std::string& loopbackAddress) {
    Close();
    sockaddr_storage storage{};
    socklen_t length = 0;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
    if (inet_pton(AF_INET, loopbackAddress.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        length = sizeof *v4;
    } else if (inet_pton(AF_INET6, loopbackAddress.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        length = sizeof *v6;
    } else {
        return false;
    }
    fd_ = socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    SetFlag(fd_, SOL_SOCKET, SO_REUSEADDR);
    auto* any = reinterpret_cast<sockaddr*>(&storage);
    if (bind(fd_, any, length) != 0 || listen(fd_, 16) != 0 || !SetNonBlocking(fd_) ||
        getsockname(fd_, any, &length) != 0) {
        Close();
        return false;
    }
    port_ = ntohs(storage.ss_family == AF_INET ? v4->sin_port : v6->sin6_port);
    return true;
}

std::optional<TcpSocket> TcpListener::Accept(int timeoutMs) {
    if (fd_ < 0) {
        return std::nullopt;
    }
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0) {
        return std::nullopt;
    }
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    SetFlag(fd, IPPROTO_TCP, TCP_NODELAY);
    return TcpSocket(fd);
}

void TcpListener::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    port_ = 0;
}
