// SPDX-License-Identifier: Apache-2.0
#include "listen_socket.h"

#include <netdb.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tts_server {
namespace {

constexpr int kBacklog = 511;

}  // namespace

bool split_host_port(const std::string &text, std::string &host, std::string &port) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 == text.size()) return false;
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    return !host.empty() && port.find_first_not_of("0123456789") == std::string::npos && port.size() <= 5 &&
           std::stoul(port) <= 65535;
}

ListenSocket::~ListenSocket() {
    if (fd_ >= 0) ::close(fd_);
}

std::string ListenSocket::address() const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0 ||
        ::getnameinfo(reinterpret_cast<sockaddr *>(&addr), len, host, sizeof host, port, sizeof port,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "?";
    return addr.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port : std::string(host) + ":" + port;
}

std::variant<ListenSocket, std::string> listen_on(const std::string &host_port) {
    std::string host;
    std::string port;
    if (!split_host_port(host_port, host, port)) return "HOST:PORT wanted, not " + host_port;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *found = nullptr;
    if (const int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); rc != 0)
        return "cannot resolve " + host + ": " + gai_strerror(rc);
    std::string error = "no address for " + host_port;
    for (addrinfo *a = found; a != nullptr; a = a->ai_next) {
        ListenSocket s(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
        if (s.fd() < 0) {
            error = std::strerror(errno);
            continue;
        }
        const int one = 1;
        ::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(s.fd(), a->ai_addr, a->ai_addrlen) == 0 && ::listen(s.fd(), kBacklog) == 0) {
            ::freeaddrinfo(found);
            return s;
        }
        error = "cannot listen on " + host_port + ": " + std::strerror(errno);
    }
    ::freeaddrinfo(found);
    return error;
}

std::variant<ActivatedSockets, std::string> sockets_from_systemd() {
    char **names = nullptr;
    const int n = sd_listen_fds_with_names(1, &names);
    if (n < 0) return std::string("socket activation: ") + std::strerror(-n);
    ActivatedSockets out;
    std::string error;
    for (int i = 0; i < n; ++i) {
        ListenSocket s(SD_LISTEN_FDS_START + i);
        const bool wyoming = names != nullptr && names[i] != nullptr && std::strcmp(names[i], "wyoming") == 0;
        std::optional<ListenSocket> &slot = wyoming ? out.wyoming : out.http;
        if (!error.empty()) continue;
        if (sd_is_socket(s.fd(), AF_UNSPEC, SOCK_STREAM, 1) <= 0)
            error = "socket activation: descriptor " + std::to_string(s.fd()) + " is not a listening stream socket";
        else if (slot)
            error = std::string("socket activation: more than one ") + (wyoming ? "wyoming" : "HTTP") +
                    " socket (name the Wyoming one with FileDescriptorName=wyoming)";
        else
            slot.emplace(s.release());
    }
    if (names != nullptr) {
        for (int i = 0; i < n; ++i) std::free(names[i]);
        std::free(names);
    }
    if (!error.empty()) return error;
    return out;
}

}  // namespace tts_server
