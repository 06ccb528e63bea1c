// SPDX-License-Identifier: Apache-2.0
#include "batch_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "shown_text.h"

namespace tts_say {
namespace {

constexpr std::size_t kFailuresShown = 5;
constexpr auto kProgressEvery = std::chrono::milliseconds(250);
constexpr std::size_t kLongestRecord = 32u << 20;

}  // namespace

bool BatchReport::open(const std::string &path, bool progress, long long manifest_bytes, std::string &error) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = "cannot write the results to " + tts_text::shown(path) + ": " + std::strerror(errno);
        return false;
    }
    results_path_ = path;
    progress_ = progress;
    manifest_bytes_ = manifest_bytes;
    // Earlier runs' records, from a regular file: what each WAV was made from.
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return true;  // a pipe, a terminal
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read the results in " + tts_text::shown(path) + ": " + std::strerror(errno);
        return false;
    }
    std::string pending;
    char buf[1 << 16];
    off_t at = 0;
    for (ssize_t r; (r = ::pread(in, buf, sizeof buf, at)) > 0; at += r) {
        pending.append(buf, static_cast<std::size_t>(r));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            const nlohmann::json line = nlohmann::json::parse(pending.begin() + static_cast<long>(start),
                                                              pending.begin() + static_cast<long>(end), nullptr, false);
            if (!line.is_object() || !line.contains("made_from") || !line["made_from"].is_string() ||
                !line.contains("output_file") || !line["output_file"].is_string())
                continue;
            // A failure leaves the WAV made before it, so only the makers count.
            const std::string status = line.value("status", "");
            if (status == "ok" || status == "skipped")
                made_from_[line["output_file"].get<std::string>()] = line["made_from"].get<std::string>();
        }
        pending.erase(0, start);
        // A line longer than any this run writes is no record: not kept whole.
        if (pending.size() > kLongestRecord) pending.assign(1, '?');
    }
    ::close(in);
    if (!pending.empty() && ::write(fd_, "\n", 1) != 1) {
        error = "cannot write the results to " + tts_text::shown(path) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

BatchReport::~BatchReport() {
    if (fd_ >= 0) ::close(fd_);
}

const std::string *BatchReport::made_from(const std::string &output) const {
    const auto it = made_from_.find(output);
    return it == made_from_.end() ? nullptr : &it->second;
}

bool BatchReport::add(const ItemOutcome &o) {
    nlohmann::json line = {{"id", o.id},     {"output_file", o.output}, {"status", o.status},
                           {"code", o.code}, {"seconds", o.seconds}};
    if (!o.reason.empty()) line["reason"] = o.reason;
    if (!o.made_from.empty()) line["made_from"] = o.made_from;
    if (!o.note.empty()) line["note"] = o.note;
    // Names from ID<TAB>TEXT lines may not be UTF-8: such bytes become U+FFFD.
    const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    seconds_ += o.seconds;
    furthest_ = std::max(furthest_, o.line_end);
    if (std::strcmp(o.status, "failed") == 0) {
        ++failed_;
        if (first_failures_.size() < kFailuresShown)
            first_failures_.push_back(tts_text::shown(o.id) + ": " + tts_text::shown(o.reason, 400));
    }
    if (progress_) show_progress(false);
    // The line goes in whole or not at all: a write cut short (a full
    // disk) is taken back, so that the file stays JSON lines.
    struct stat st {};
    const bool regular = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
    std::size_t put = 0;
    while (put < text.size()) {
        const ssize_t w = ::write(fd_, text.data() + put, text.size() - put);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            if (put > 0 && regular) (void)!::ftruncate(fd_, st.st_size);
            return false;
        }
        put += static_cast<std::size_t>(w);
    }
    return true;
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
    if (!results_ok) std::cerr << "tts-say: cannot write the results to " << tts_text::shown(results_path_) << "\n";
    if (failed_ == 0) return results_ok ? 0 : 1;
    std::cerr << "tts-say: " << failed_ << " of " << done_ << " items failed";
    for (const std::string &f : first_failures_) std::cerr << "\n  " << f;
    if (static_cast<std::size_t>(failed_) > first_failures_.size()) std::cerr << "\n  ...";
    std::cerr << "\n";
    return 1;
}

}  // namespace tts_say
