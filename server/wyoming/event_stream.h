// SPDX-License-Identifier: Apache-2.0
// Wyoming events on a socket: a JSON header line {"type", "data",
// "data_length", "payload_length"}, then data_length bytes of JSON merged
// over "data", then payload_length bytes of payload. Every length is
// checked against its limit before anything is allocated for it.
#ifndef TTS_SERVER_WYOMING_EVENT_STREAM_H
#define TTS_SERVER_WYOMING_EVENT_STREAM_H

#include <chrono>
#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace tts_server::wyoming {

struct Event {
    std::string type;
    nlohmann::json data = nlohmann::json::object();
    std::string payload;
};

struct Limits {
    std::size_t line = 64 * 1024;     // the header line, newline included
    std::size_t data = 64 * 1024;     // data_length
    std::size_t payload = 64 * 1024;  // payload_length
};

// What reading an event ended in.
enum class ReadStatus {
    kEvent,      // an event was read
    kClosed,     // the peer closed between events
    kTimeout,    // nothing arrived in time
    kMalformed,  // the bytes are not an event, or exceed a limit: `error` says which
};

// Reads events from a connected socket it does not own.
class EventReader {
  public:
    EventReader(int fd, Limits limits) : fd_(fd), limits_(limits) {}

    // The next event, waiting up to `idle` for it to begin (and as long
    // again for each later part of it).
    ReadStatus read(Event &event, std::chrono::milliseconds idle);
    const std::string &error() const { return error_; }

  private:
    enum class Fill { kOk, kClosed, kTimeout, kError };
    // Makes at least `n` bytes available in buffer_ from start_.
    Fill fill(std::size_t n, std::chrono::milliseconds idle);
    ReadStatus malformed(std::string why);

    int fd_;
    Limits limits_;
    std::string buffer_;
    std::size_t start_ = 0;
    std::string error_;
};

// The bytes of one event. Data goes into the header line, which is what
// every reader of the protocol accepts.
std::string encode_event(const std::string &type, const nlohmann::json &data = nlohmann::json::object(),
                         const std::string &payload = "");

}  // namespace tts_server::wyoming

#endif  // TTS_SERVER_WYOMING_EVENT_STREAM_H
