// SPDX-License-Identifier: Apache-2.0
// Cross-origin access for browser pages (--cors-origin): which origins get
// Access-Control-Allow-Origin, and the answer to a preflight request.
#ifndef TTS_SERVER_CORS_H
#define TTS_SERVER_CORS_H

#include <string>
#include <utility>
#include <vector>

namespace tts_server {

class CorsPolicy {
  public:
    CorsPolicy() = default;
    // Origins as a browser sends them ("https://app.example:8080"), or "*".
    explicit CorsPolicy(std::vector<std::string> origins) : origins_(std::move(origins)) {}

    bool enabled() const { return !origins_.empty(); }
    // The Access-Control-Allow-Origin value for a request from `origin`
    // (the Origin header, maybe null): "*", the origin itself, or "" for
    // none.
    std::string allow_origin(const char *origin) const;
    // The headers of the answer to a preflight from `origin` asking for
    // `request_headers` (Access-Control-Request-Headers, maybe null); none
    // for an origin not allowed.
    std::vector<std::pair<std::string, std::string>> preflight(const char *origin, const char *request_headers) const;

  private:
    std::vector<std::string> origins_;
};

// Whether `origin` can be given to --cors-origin: "*" or scheme://host[:port].
bool valid_cors_origin(const std::string &origin);

}  // namespace tts_server

#endif  // TTS_SERVER_CORS_H
