// SPDX-License-Identifier: Apache-2.0
// The client side of Wyoming for the tests, written from the protocol's
// public description: a JSON header line, then data_length bytes of JSON
// data, then payload_length bytes of payload.
#ifndef TTS_SERVER_TESTS_WYOMING_CLIENT_H
#define TTS_SERVER_TESTS_WYOMING_CLIENT_H

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "raw_http.h"

namespace server_test {

struct WyomingEvent {
    std::string type;
    nlohmann::json data = nlohmann::json::object();
    std::string payload;
};

class WyomingClient {
  public:
    explicit WyomingClient(int port) : conn_(port) {}
    // Sends an event (data in the additional data part, as clients do).
    bool send(const std::string &type, const nlohmann::json &data = nlohmann::json::object());
    bool send_raw(const std::string &bytes) { return conn_.send(bytes); }
    // The next event; nothing once the server has closed (or after `ms`).
    std::optional<WyomingEvent> next(int ms = 20000);
    // Whether the server closed the connection within `ms`.
    bool closed(int ms = 5000);
    Connection &connection() { return conn_; }

  private:
    std::string take(std::size_t n, int ms);
    Connection conn_;
    std::string buffer_;
};

// One round: audio-start, audio-chunks, audio-stop.
struct AudioRound {
    nlohmann::json format;  // audio-start's rate, width, channels
    std::string audio;      // the chunks' payloads joined
    bool chunk_formats_agree = true;
    std::string error;  // the error event's code, if one came instead
};

// Reads one round (or an error event).
AudioRound read_round(WyomingClient &client);

}  // namespace server_test

#endif  // TTS_SERVER_TESTS_WYOMING_CLIENT_H
