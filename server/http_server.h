// SPDX-License-Identifier: Apache-2.0
// The HTTP side of tts-server: the daemon, its limits, and the routes.
#ifndef TTS_SERVER_HTTP_SERVER_H
#define TTS_SERVER_HTTP_SERVER_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "admission.h"
#include "connection_guard.h"
#include "cors.h"
#include "metrics.h"
#include "voice_aliases.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace tts_server {

struct ServerConfig {
    unsigned workers = 1;
    unsigned queue = 2;
    std::size_t max_text = 65536;
    std::string token;  // empty: no token asked for
    bool access_log = false;
    unsigned max_audio_seconds = 3600;  // passed to every session
    unsigned request_timeout = 30;      // seconds to receive a request
    unsigned max_connections = 256;
    unsigned max_client_connections = 0;  // 0: no limit per client address
    VoiceAliases voice_aliases;
    CorsPolicy cors;
};

class HttpServer {
  public:
    explicit HttpServer(const ServerConfig &config);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Serves on `listen_fd` (taken over); an error message or "".
    std::string start(int listen_fd);
    // Stops accepting connections and new work; /readyz answers 503.
    void drain();
    // Waits until no request is in flight; false if `deadline` passed first.
    bool wait_idle(std::chrono::steady_clock::time_point deadline);
    // Shared with the Wyoming side.
    Admission &admission() { return admission_; }
    Metrics &metrics() { return metrics_; }

  private:
    friend struct Routes;
    struct Exchange;
    struct Stream;

    const ServerConfig config_;
    const std::size_t max_body_;
    const unsigned accept_limit_;  // connections the daemon takes, within the descriptor limit
    ConnectionGuard guard_;
    MHD_Daemon *daemon_ = nullptr;
    Admission admission_;
    Metrics metrics_;
    std::atomic<bool> draining_{false};
    std::mutex idle_mutex_;
    std::condition_variable idle_;
    unsigned in_flight_ = 0;
};

}  // namespace tts_server

#endif  // TTS_SERVER_HTTP_SERVER_H
