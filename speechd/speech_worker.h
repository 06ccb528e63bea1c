// SPDX-License-Identifier: Apache-2.0
// Speaks one message at a time on a thread of its own: each stretch through
// a session of the speech service, its audio to the server as it comes, the
// marks between the stretches, and the events around them.
#ifndef SD_TTS_SPEECH_WORKER_H
#define SD_TTS_SPEECH_WORKER_H

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "module_output.h"

namespace sd_tts {

struct Utterance {
    std::string params;  // the session parameters
    std::string text;    // nothing to say when empty
    std::string mark_after;
    bool has_mark = false;
};

struct SpeechJob {
    std::vector<Utterance> utterances;
    std::string icon;  // a sound icon for the server to play instead
};

class SpeechWorker {
  public:
    explicit SpeechWorker(ModuleOutput &out) : out_(out) {}
    ~SpeechWorker();
    SpeechWorker(const SpeechWorker &) = delete;
    SpeechWorker &operator=(const SpeechWorker &) = delete;

    // Starts `job`; a message still being spoken is stopped first (with its
    // STOP event). Not to be called while another thread stops or waits.
    void speak(SpeechJob job);
    // Ends the synthesis at once; the STOP event follows from the thread.
    void stop();
    // Stops at the next mark, which is reported with the PAUSE event.
    void pause();
    // Waits until the current message has ended.
    void wait();

  private:
    void run(SpeechJob job);
    // Speaks one stretch; false when it was stopped.
    bool synthesize(const Utterance &u);
    bool stopping() const { return stop_.load(); }

    ModuleOutput &out_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> pause_{false};
    std::mutex session_mutex_;
    const char *session_ = nullptr;  // the live session, ended by stop()
};

}  // namespace sd_tts

#endif  // SD_TTS_SPEECH_WORKER_H
