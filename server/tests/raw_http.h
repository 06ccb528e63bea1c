// SPDX-License-Identifier: Apache-2.0
// HTTP over a plain socket, as hostile and ordinary clients write it.
#ifndef TTS_SERVER_TESTS_RAW_HTTP_H
#define TTS_SERVER_TESTS_RAW_HTTP_H

#include <map>
#include <string>

namespace server_test {

// A connected loopback socket, closed when destroyed.
class Connection {
  public:
    // From `source` (another loopback address, say) if not null.
    explicit Connection(int port, const char *source = nullptr);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    bool send(const std::string &bytes);
    // Everything the server writes until it closes (or `ms` pass).
    std::string read_all(int ms = 10000);
    // Up to `n` bytes, waiting up to `ms`.
    std::string read_some(std::size_t n, int ms = 10000);
    int fd() const { return fd_; }
    void close();

  private:
    int fd_;
};

struct Response {
    int status = 0;  // 0: no answer
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;                            // chunks joined
    bool chunked_complete = false;               // the last chunk came
};

Response parse_response(const std::string &raw);

// One request with Connection: close.
Response request(int port, const std::string &method, const std::string &path, const std::string &body = "",
                 const std::string &extra_headers = "Content-Type: application/json\r\n");

}  // namespace server_test

#endif  // TTS_SERVER_TESTS_RAW_HTTP_H
