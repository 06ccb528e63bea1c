// SPDX-License-Identifier: Apache-2.0
// tts-server's Wyoming side: a TCP listener beside the HTTP API, a thread
// per connection, sharing the HTTP side's workers, queue and metrics.
#ifndef TTS_SERVER_WYOMING_WYOMING_SERVER_H
#define TTS_SERVER_WYOMING_WYOMING_SERVER_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "admission.h"
#include "metrics.h"
#include "wyoming/voice_catalogue.h"

namespace tts_server::wyoming {

struct WyomingConfig {
    std::size_t max_text = 65536;
    unsigned max_audio_seconds = 0;  // the server's limit; 0: the service's default
    unsigned connections = 64;  // more are refused with an error event
    std::string version;        // announced in info
};

class WyomingServer {
  public:
    WyomingServer(const WyomingConfig &config, VoiceCatalogue voices, Admission &admission, Metrics &metrics);
    ~WyomingServer();
    WyomingServer(const WyomingServer &) = delete;
    WyomingServer &operator=(const WyomingServer &) = delete;

    // Serves on `listen_fd` (taken over); an error message or "".
    std::string start(int listen_fd);
    // Stops accepting; idle connections are closed, and busy ones once
    // their work is done.
    void drain();
    // Waits until no connection is left; false if `deadline` passed first.
    bool wait_idle(std::chrono::steady_clock::time_point deadline);

  private:
    class Connection;
    void accept_loop();
    void serve(int fd);
    // Marks a connection busy for a request; false while draining.
    bool begin_work(int fd);
    // Marks it idle again; false if it is to close now (draining).
    bool end_work(int fd);

    const WyomingConfig config_;
    const VoiceCatalogue voices_;
    Admission &admission_;
    Metrics &metrics_;
    int listen_fd_ = -1;
    int wake_fd_ = -1;  // an eventfd that ends the accept loop
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable gone_;
    std::map<int, bool> connections_;  // descriptor -> busy
    bool draining_ = false;
};

}  // namespace tts_server::wyoming

#endif  // TTS_SERVER_WYOMING_WYOMING_SERVER_H
