// SPDX-License-Identifier: Apache-2.0
// The unfinished WAVs of a batch, one per worker: a signal that ends the
// run removes them all before it ends the process as it would have.
#ifndef TTS_SAY_BATCH_CLEANUP_H
#define TTS_SAY_BATCH_CLEANUP_H

#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "batch_place.h"

namespace tts_say {

class BatchTempFiles {
  public:
    // Holds the ending signals off in this thread and every thread started
    // after it, and starts the thread that takes them.
    BatchTempFiles();
    BatchTempFiles(const BatchTempFiles &) = delete;
    BatchTempFiles &operator=(const BatchTempFiles &) = delete;

    // Makes the file for `target` in its folder: unnamed (`name` empty)
    // where the file system allows, else named ".NAME.XXXXXX"; its
    // descriptor, or -1 with the reason in `error`.
    int create(const ItemPlace &target, std::string &name, std::string &error);
    // Puts the finished file `fd` onto `target` and closes it; false with
    // errno set (the file is then removed).
    bool place(int fd, const std::string &name, const ItemPlace &target);
    // Closes and removes an unfinished file.
    void discard(int fd, const std::string &name, const ItemPlace &target);

  private:
    unsigned mode_;  // 0666 less the umask, as a plain create
    std::mutex mutex_;
    // The named files a signal removes: their folder's descriptor (the
    // item's, open while the file lives) and name.
    std::set<std::pair<int, std::string>> live_;
};

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_CLEANUP_H
