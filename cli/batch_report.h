// SPDX-License-Identifier: Apache-2.0
// What a batch tells: one JSON line per item in the results file, flushed
// as the item finishes; a progress line at a terminal; the failures at the
// end.
#ifndef TTS_SAY_BATCH_REPORT_H
#define TTS_SAY_BATCH_REPORT_H

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tts_say {

struct ItemOutcome {
    std::string id, output;
    const char *status;  // "ok", "skipped" or "failed"
    int code;            // the service's code; -1 for a line or file that failed
    double seconds;
    std::string reason;  // for a failure
    long long line_end;  // manifest bytes up to the end of the item's line
};

class BatchReport {
  public:
    // Opens the results file for appending; false with the reason.
    bool open(const std::string &path, bool progress, long long manifest_bytes, std::string &error);
    ~BatchReport();

    // Records one item (from any thread); false when the results file
    // could not be written.
    bool add(const ItemOutcome &outcome);

    // Ends the progress line; the summary on standard error. The exit
    // status: 0 when every item is done, 1 otherwise.
    int finish(bool results_ok);

  private:
    void show_progress(bool last);

    std::mutex mutex_;
    std::FILE *results_ = nullptr;
    std::string results_path_;
    bool progress_ = false;
    long long manifest_bytes_ = 0;  // 0 when unknown (a pipe)
    long long done_ = 0, failed_ = 0, furthest_ = 0;
    double seconds_ = 0;
    std::vector<std::string> first_failures_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now(), shown_{};
};

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_REPORT_H
