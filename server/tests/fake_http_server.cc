// SPDX-License-Identifier: Apache-2.0
#include "fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace server_test {
namespace {

// The body length a request head declares, or 0.
std::size_t declared_body(const std::string &head) {
    std::string lower;
    for (const char c : head) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    const std::size_t at = lower.find("\r\ncontent-length:");
    return at == std::string::npos ? 0 : std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

}  // namespace

std::string http_response(const std::string &status, const std::string &body, const std::string &headers,
                          long declared_length) {
    std::string out = "HTTP/1.1 " + status + "\r\nConnection: close\r\n" + headers;
    if (headers.find("Transfer-Encoding") == std::string::npos)
        out += "Content-Length: " + std::to_string(declared_length >= 0 ? static_cast<std::size_t>(declared_length) : body.size()) + "\r\n";
    return out + "\r\n" + body;
}

FakeHttpServer::FakeHttpServer(std::vector<ScriptedReply> replies) : replies_(std::move(replies)) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 16) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { serve(); });
}

FakeHttpServer::~FakeHttpServer() {
    stop_ = true;
    thread_.join();
    ::close(listen_fd_);
}

std::vector<std::string> FakeHttpServer::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void FakeHttpServer::serve() {
    for (std::size_t served = 0; !stop_;) {
        pollfd p{listen_fd_, POLLIN, 0};
        if (::poll(&p, 1, 50) != 1) continue;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        answer(fd, replies_[std::min(served++, replies_.size() - 1)]);
        ::close(fd);
    }
}

void FakeHttpServer::answer(int fd, const ScriptedReply &reply) {
    std::string request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        const std::size_t head_end = request.find("\r\n\r\n");
        if (head_end != std::string::npos && request.size() >= head_end + 4 + declared_body(request.substr(0, head_end)))
            break;
        pollfd p{fd, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0) return;
        if (p.revents == 0) continue;
        char buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return;
        request.append(buf, static_cast<std::size_t>(n));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
    }
    for (std::size_t done = 0; done < reply.bytes.size();) {
        const ssize_t n = ::send(fd, reply.bytes.data() + done, reply.bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.hold_ms);
    while (!stop_ && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

}  // namespace server_test
