// SPDX-License-Identifier: Apache-2.0
// A loopback server that answers HTTP requests with scripted bytes, for the
// answers tts-server never gives: a proxy's page, a body cut short, a
// stall, a redirect. It reads each request whole and records it.
#ifndef TTS_SERVER_TESTS_FAKE_HTTP_SERVER_H
#define TTS_SERVER_TESTS_FAKE_HTTP_SERVER_H

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace server_test {

struct ScriptedReply {
    std::string bytes;  // written as they are once the request is in
    int hold_ms = 0;    // then the connection stays open this long before it is closed
};

class FakeHttpServer {
  public:
    // Connections get the replies in turn; the last one repeats.
    explicit FakeHttpServer(std::vector<ScriptedReply> replies);
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer &) = delete;
    FakeHttpServer &operator=(const FakeHttpServer &) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The requests so far, each its head and body as they came.
    std::vector<std::string> requests();

  private:
    void serve();
    void answer(int fd, const ScriptedReply &reply);

    std::vector<ScriptedReply> replies_;
    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// An HTTP/1.1 response with `status` (and its reason), `headers` (lines
// ending in CRLF) and `body`, its Content-Length given unless `headers`
// holds a Transfer-Encoding or `declared_length` is set.
std::string http_response(const std::string &status, const std::string &body, const std::string &headers = "",
                          long declared_length = -1);

}  // namespace server_test

#endif  // TTS_SERVER_TESTS_FAKE_HTTP_SERVER_H
