// SPDX-License-Identifier: Apache-2.0
#include "metrics.h"

#include <sstream>

namespace tts_server {

void Metrics::record(const std::string &protocol, const std::string &route, const std::string &status, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{protocol, route, status}];
    for (std::size_t i = 0; i < kBuckets.size(); ++i)
        if (seconds <= kBuckets[i]) ++bucket_counts_[i];
    ++count_;
    sum_ += seconds;
}

void Metrics::add_audio_seconds(double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    audio_seconds_ += seconds;
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
        << "tts_request_duration_seconds_sum " << sum_ << "\n"
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
    out << "# HELP tts_audio_seconds_total Seconds of audio produced.\n"
           "# TYPE tts_audio_seconds_total counter\n"
           "tts_audio_seconds_total "
        << audio_seconds_ << "\n";
    return out.str();
}

}  // namespace tts_server
