// SPDX-License-Identifier: Apache-2.0
#include "batch_report.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

namespace tts_say {
namespace {

constexpr std::size_t kFailuresShown = 5;
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

}  // namespace

bool BatchReport::open(const std::string &path, bool progress, long long manifest_bytes, std::string &error) {
    results_ = std::fopen(path.c_str(), "ae");
    if (results_ == nullptr) {
        error = "cannot write the results to " + path + ": " + std::strerror(errno);
        return false;
    }
    results_path_ = path;
    progress_ = progress;
    manifest_bytes_ = manifest_bytes;
    return true;
}

BatchReport::~BatchReport() {
    if (results_ != nullptr) std::fclose(results_);
}

bool BatchReport::add(const ItemOutcome &o) {
    nlohmann::json line = {{"id", o.id},     {"output_file", o.output}, {"status", o.status},
                           {"code", o.code}, {"seconds", o.seconds}};
    if (!o.reason.empty()) line["reason"] = o.reason;
    // Names from ID<TAB>TEXT lines may not be UTF-8: such bytes become U+FFFD.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    seconds_ += o.seconds;
    furthest_ = std::max(furthest_, o.line_end);
    if (std::strcmp(o.status, "failed") == 0) {
        ++failed_;
        if (first_failures_.size() < kFailuresShown) first_failures_.push_back(o.id + ": " + o.reason);
    }
    if (progress_) show_progress(false);
    return std::fwrite(text.data(), 1, text.size(), results_) == text.size() && std::fflush(results_) == 0;
}

void BatchReport::show_progress(bool last) {
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - shown_ < kProgressEvery) return;
    shown_ = now;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    char left[32] = "";
    if (manifest_bytes_ > 0 && furthest_ > 0 && !last)
        std::snprintf(left, sizeof left, ", %.0f s left",
                      elapsed * static_cast<double>(manifest_bytes_ - furthest_) / static_cast<double>(furthest_));
    std::fprintf(stderr, "\r\033[Ktts-say: %lld done, %lld failed, %.1f items/s, %.1f s of audio%s%s", done_, failed_,
                 elapsed > 0 ? static_cast<double>(done_) / elapsed : 0.0, seconds_, left, last ? "\n" : "");
}

int BatchReport::finish(bool results_ok) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (progress_) show_progress(true);
    if (!results_ok) std::cerr << "tts-say: cannot write the results to " << results_path_ << "\n";
    if (failed_ == 0) return results_ok ? 0 : 1;
    std::cerr << "tts-say: " << failed_ << " of " << done_ << " items failed";
    for (const std::string &f : first_failures_) std::cerr << "\n  " << f;
    if (static_cast<std::size_t>(failed_) > first_failures_.size()) std::cerr << "\n  ...";
    std::cerr << "\n";
    return 1;
}

}  // namespace tts_say
