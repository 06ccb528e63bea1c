// SPDX-License-Identifier: Apache-2.0
#include "raw_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace server_test {

Connection::Connection(int port, const char *source) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (source != nullptr) {
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, source, &from.sin_addr);
        if (bind(fd_, reinterpret_cast<sockaddr *>(&from), sizeof from) != 0) close();
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) close();
}

Connection::~Connection() { close(); }

void Connection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Connection::send(const std::string &bytes) {
    return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

std::string Connection::read_some(std::size_t n, int ms) {
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[65536];
    while (fd_ >= 0 && out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd p = {fd_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) != 1) break;
        const ssize_t r = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

std::string Connection::read_all(int ms) { return read_some(static_cast<std::size_t>(-1) / 2, ms); }

Response parse_response(const std::string &raw) {
    Response r;
    const auto head_end = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.", 0) != 0 || head_end == std::string::npos) return r;
    r.status = std::atoi(raw.c_str() + 9);
    std::size_t pos = raw.find("\r\n") + 2;
    while (pos < head_end) {
        const auto eol = raw.find("\r\n", pos);
        const std::string line = raw.substr(pos, eol - pos);
        const auto colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        r.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
        pos = eol + 2;
    }
    std::string rest = raw.substr(head_end + 4);
    if (r.headers["transfer-encoding"] != "chunked") {
        r.body = rest;
        return r;
    }
    std::size_t at = 0;
    while (true) {
        const auto eol = rest.find("\r\n", at);
        if (eol == std::string::npos) break;
        const std::size_t size = std::strtoul(rest.c_str() + at, nullptr, 16);
        if (size == 0) {
            r.chunked_complete = true;
            break;
        }
        if (eol + 2 + size > rest.size()) break;
        r.body.append(rest, eol + 2, size);
        at = eol + 2 + size + 2;
    }
    return r;
}

Response request(int port, const std::string &method, const std::string &path, const std::string &body,
                 const std::string &extra_headers) {
    Connection c(port);
    c.send(method + " " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n" + extra_headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    return parse_response(c.read_all(30000));
}

}  // namespace server_test
