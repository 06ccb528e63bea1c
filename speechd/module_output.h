// SPDX-License-Identifier: Apache-2.0
// Everything the module writes to the server: replies and events, each
// written whole, so that the speaking thread's events never split a reply.
#ifndef SD_TTS_MODULE_OUTPUT_H
#define SD_TTS_MODULE_OUTPUT_H

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace sd_tts {

class ModuleOutput {
  public:
    // `sink` writes all the bytes or returns false (the server is gone).
    explicit ModuleOutput(std::function<bool(std::string_view)> sink) : sink_(std::move(sink)) {}
    // Writes to a file descriptor (standard output).
    static ModuleOutput to_fd(int fd);

    // Writes `text` (one or more complete lines) at once; false once a
    // write has failed.
    bool send(std::string_view text);
    bool ok() const;

  private:
    std::function<bool(std::string_view)> sink_;
    mutable std::mutex mutex_;
    bool failed_ = false;
};

}  // namespace sd_tts

#endif  // SD_TTS_MODULE_OUTPUT_H
