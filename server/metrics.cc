// SPDX-License-Identifier: Apache-2.0
#include "metrics.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace tts_server {
namespace {

std::uint64_t microseconds(double seconds) { return seconds > 0 ? static_cast<std::uint64_t>(std::llround(seconds * 1e6)) : 0; }

// Whole microseconds as seconds, every digit kept.
std::string seconds_text(std::uint64_t us) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 ".%06" PRIu64, us / 1000000, us % 1000000);
    return text;
}

}  // namespace

void Metrics::record(const std::string &protocol, const std::string &route, const std::string &status, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{protocol, route, status}];
    for (std::size_t i = 0; i < kBuckets.size(); ++i)
        if (seconds <= kBuckets[i]) ++bucket_counts_[i];
    ++count_;
    sum_us_ += microseconds(seconds);
}

void Metrics::add_audio_seconds(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    audio_us_ += microseconds(seconds);
}

std::string Metrics::render(const Gauges &g) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::ostringstream out;
    out << "# HELP tts_requests_total Requests answered, by protocol, route and status.\n"
           "# TYPE tts_requests_total counter\n";
    for (const auto &[key, n] : requests_)
        out << "tts_requests_total{protocol=\"" << std::get<0>(key) << "\",route=\"" << std::get<1>(key) << "\",status=\""
            << std::get<2>(key) << "\"} " << n << "\n";
    out << "# HELP tts_request_duration_seconds Time from a request's arrival to the end of its answer.\n"
           "# TYPE tts_request_duration_seconds histogram\n";
    for (std::size_t i = 0; i < kBuckets.size(); ++i)
        out << "tts_request_duration_seconds_bucket{le=\"" << kBuckets[i] << "\"} " << bucket_counts_[i] << "\n";
    out << "tts_request_duration_seconds_bucket{le=\"+Inf\"} " << count_ << "\n"
        << "tts_request_duration_seconds_sum " << seconds_text(sum_us_) << "\n"
        << "tts_request_duration_seconds_count " << count_ << "\n";
    const std::pair<const char *, unsigned> gauges[] = {
        {"tts_queue_depth Syntheses waiting for a worker.", g.queue_depth},
        {"tts_workers_busy Workers synthesising.", g.workers_busy},
        {"tts_helpers_busy Engine helpers serving a session.", g.helpers_busy},
        {"tts_helpers_ready Engine helpers started and waiting for a session.", g.helpers_ready},
    };
    for (const auto &[help, value] : gauges) {
        const std::string name = std::string(help).substr(0, std::string(help).find(' '));
        out << "# HELP " << help << "\n# TYPE " << name << " gauge\n" << name << " " << value << "\n";
    }
    out << "# HELP tts_connections_dropped_total Connections closed by the server before their request was whole.\n"
           "# TYPE tts_connections_dropped_total counter\n"
        << "tts_connections_dropped_total{reason=\"deadline\"} " << g.dropped_deadline << "\n"
        << "tts_connections_dropped_total{reason=\"room\"} " << g.dropped_room << "\n"
        << "tts_connections_dropped_total{reason=\"refused\"} " << g.dropped_refused << "\n";
    out << "# HELP tts_audio_seconds_total Seconds of audio produced.\n"
           "# TYPE tts_audio_seconds_total counter\n"
           "tts_audio_seconds_total "
        << seconds_text(audio_us_) << "\n";
    return out.str();
}

}  // namespace tts_server
