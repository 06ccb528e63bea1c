// SPDX-License-Identifier: Apache-2.0
// What a batch tells: one JSON line per item in the results file, flushed
// as the item finishes; a progress line at a terminal; the failures at the
// end.
#ifndef TTS_SAY_BATCH_REPORT_H
#define TTS_SAY_BATCH_REPORT_H

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace tts_say {

struct ItemOutcome {
    std::string id, output;
    const char *status;  // "ok", "skipped" or "failed"
    int code;            // the service's code; -1 for a line or file that failed
    double seconds;
    std::string reason;  // for a failure
    long long line_end;  // manifest bytes up to the end of the item's line
    std::string made_from = {};  // the digest of the text and settings the WAV was made from
    std::string note = {};       // why a WAV there was made again
};

class BatchReport {
  public:
    // Opens the results file for appending, reading what earlier runs
    // recorded in it; false with the reason. A last line left torn (a full
    // disk) is ended, so that every line after it reads whole.
    bool open(const std::string &path, bool progress, long long manifest_bytes, std::string &error);
    ~BatchReport();
    int fd() const { return fd_; }

    // What an earlier run recorded the WAV `output` was made from; null
    // when it recorded nothing. Read before any add().
    const std::string *made_from(const std::string &output) const;

    // Records one item (from any thread); false when the results file
    // could not be written.
    bool add(const ItemOutcome &outcome);

    // Ends the progress line; the summary on standard error. The exit
    // status: 0 when every item is done, 1 otherwise.
    int finish(bool results_ok);

  private:
    void show_progress(bool last);

    std::mutex mutex_;
    int fd_ = -1;
    std::unordered_map<std::string, std::string> made_from_;  // output_file -> digest
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
