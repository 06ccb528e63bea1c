// SPDX-License-Identifier: Apache-2.0
// What /metrics reports, in the Prometheus text format.
#ifndef TTS_SERVER_METRICS_H
#define TTS_SERVER_METRICS_H

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

namespace tts_server {

// The gauges, and the counts kept elsewhere, read when the page is made.
struct Gauges {
    unsigned queue_depth = 0;
    unsigned workers_busy = 0;
    unsigned helpers_busy = 0;
    unsigned helpers_ready = 0;
    // Connections closed by the server: at their request deadline, to make
    // room for another, and refused for want of room.
    std::uint64_t dropped_deadline = 0;
    std::uint64_t dropped_room = 0;
    std::uint64_t dropped_refused = 0;
};

class Metrics {
  public:
    // An HTTP exchange.
    void record(const std::string &route, unsigned status, double seconds) {
        record("http", route, std::to_string(status), seconds);
    }
    // A request of any protocol: for Wyoming the route is the event and
    // the status "ok" or the error's code.
    void record(const std::string &protocol, const std::string &route, const std::string &status, double seconds);
    void add_audio_seconds(double seconds);
    std::string render(const Gauges &gauges) const;

  private:
    static constexpr std::array<double, 10> kBuckets = {0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
    mutable std::mutex mutex_;
    std::map<std::tuple<std::string, std::string, std::string>, std::uint64_t> requests_;
    std::array<std::uint64_t, kBuckets.size()> bucket_counts_{};
    // Sums are kept in whole microseconds and printed exactly: a double
    // printed with 6 digits stops counting once it is large.
    std::uint64_t count_ = 0;
    std::uint64_t sum_us_ = 0;
    std::uint64_t audio_us_ = 0;
};

}  // namespace tts_server

#endif  // TTS_SERVER_METRICS_H
