// SPDX-License-Identifier: Apache-2.0
// One synthesis session: its engine helper process, the thread that feeds
// the helper the text and collects its audio, and the bounded audio buffer
// between that thread and the fetching client.
#ifndef SPEECH_SESSION_H
#define SPEECH_SESSION_H

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_output.h"
#include "engine_process.h"
#include "last_line.h"
#include "session_config.h"
#include "ssml_document.h"

namespace speech {

class Session final : private EngineOutput::Sink {
  public:
    explicit Session(const SessionConfig &config);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Starts the helper and the collecting thread; 0 or an error code.
    int start();
    // Copies the text and hands it to the helper; 0 or an error code. A
    // text read already as an SSML document comes as that document, which
    // is kept instead of the text.
    int put_text(const char *text, unsigned int len, std::optional<ssml::Document> document = std::nullopt);
    // The audio collected since the last fetch, valid until the next call.
    const void *fetch(unsigned int &len, int &status, int &code);
    // Stops the helper and the thread; idempotent.
    void stop();
    const SessionConfig &config() const { return config_; }
    // The last line the helper wrote on its standard error.
    std::string engine_error();
    // False in a forked child of the process that began the session: there
    // the session is not live (its thread and helper are the parent's), and
    // it must be left alone, never stopped or destroyed.
    bool ours() const { return owner_ == getpid(); }

  private:
    void collect();
    // Wakes the collecting thread: new text, room in the buffer, or stop.
    void wake_collector();
    int pump(EngineProcess &engine);
    void audio(const char *data, std::size_t len) override;
    void read_stderr(bool to_end);
    int outcome(int pumped, const EngineEnd &end) const;

    const SessionConfig config_;
    const std::chrono::milliseconds engine_timeout_;
    const std::uint64_t audio_limit_;  // bytes: max_audio_seconds at the session's rate
    const pid_t owner_;
    std::unique_ptr<EngineProcess> engine_;
    EngineOutput output_;    // the collecting thread's only
    std::vector<char> io_buffer_;  // the collecting thread's reads
    LastLine stderr_line_;   // the collecting thread's until done_
    int wake_fd_ = -1;
    std::thread thread_;

    std::mutex mutex_;
    std::condition_variable audio_ready_;
    std::atomic<bool> cancelled_{false};
    bool text_put_ = false;        // a text was accepted
    bool text_handed_ = false;     // the collecting thread took it
    std::string text_;
    std::optional<ssml::Document> document_;  // the text, when read as a document
    std::vector<char> pending_;    // collected, not yet fetched
    std::vector<char> fetched_;    // the block handed out by the last fetch
    bool done_ = false;            // the helper has finished or failed
    int failure_ = 0;              // why the session failed, if it did
    std::string engine_error_;     // the helper's last stderr line, once done
};

}  // namespace speech

#endif  // SPEECH_SESSION_H
