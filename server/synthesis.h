// SPDX-License-Identifier: Apache-2.0
// One session of the speech service: begun with its text, fetched block by
// block, and ended (which stops its helper at once) when it is destroyed.
#ifndef TTS_SERVER_SYNTHESIS_H
#define TTS_SERVER_SYNTHESIS_H

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

namespace tts_server {

class Synthesis {
  public:
    // Begins a session with `params` and hands it `text`; null and the
    // service's code in `code` on failure.
    static std::unique_ptr<Synthesis> begin(const std::string &params, std::string_view text, int &code);
    ~Synthesis();
    Synthesis(const Synthesis &) = delete;
    Synthesis &operator=(const Synthesis &) = delete;

    // Waits for the next block of audio; 0 or the service's code. `last`
    // is set with the final block (which may be empty). `block` stays valid
    // until the next call.
    int next(std::string_view &block, bool &last);
    // The engine's own account of the last failure of this thread's
    // session ("" if none).
    static std::string engine_error();

    // Sessions live in this process, each with its helper.
    static unsigned live();

  private:
    explicit Synthesis(const char *handle) : handle_(handle) {}
    const char *handle_;
    static std::atomic<unsigned> live_;
};

}  // namespace tts_server

#endif  // TTS_SERVER_SYNTHESIS_H
