// SPDX-License-Identifier: Apache-2.0
// The socket tts-server accepts on: bound to HOST:PORT, or handed over by
// systemd's socket activation.
#ifndef TTS_SERVER_LISTEN_SOCKET_H
#define TTS_SERVER_LISTEN_SOCKET_H

#include <optional>
#include <string>
#include <variant>

namespace tts_server {

// A listening socket, closed by its owner unless released.
class ListenSocket {
  public:
    explicit ListenSocket(int fd) : fd_(fd) {}
    ListenSocket(ListenSocket &&other) noexcept : fd_(other.release()) {}
    ListenSocket &operator=(ListenSocket &&) = delete;
    ~ListenSocket();
    int fd() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // "HOST:PORT" of the bound address, IPv6 hosts in brackets.
    std::string address() const;

  private:
    int fd_;
};

// Splits "HOST:PORT" (HOST non-empty, "[::1]" for IPv6; PORT 0 to 65535);
// false if it is not of that form.
bool split_host_port(const std::string &text, std::string &host, std::string &port);

// Binds and listens on "HOST:PORT" ("[::1]:PORT" for IPv6; port 0 picks a
// free one); an error message otherwise.
std::variant<ListenSocket, std::string> listen_on(const std::string &host_port);

// The sockets systemd passed (LISTEN_FDS): the one named "wyoming"
// (FileDescriptorName=wyoming) is for Wyoming, the other for HTTP.
struct ActivatedSockets {
    std::optional<ListenSocket> http;
    std::optional<ListenSocket> wyoming;
};

// What systemd passed (nothing without socket activation); an error
// message when it passed something else than one or two listening stream
// sockets, so named.
std::variant<ActivatedSockets, std::string> sockets_from_systemd();

}  // namespace tts_server

#endif  // TTS_SERVER_LISTEN_SOCKET_H
