// SPDX-License-Identifier: Apache-2.0
// The module's backend on our speech service: the login, the voice list,
// and each message made into the stretches the worker speaks.
#ifndef SD_TTS_TTS_BACKEND_H
#define SD_TTS_TTS_BACKEND_H

#include "module_config.h"
#include "module_protocol.h"
#include "speech_worker.h"

namespace sd_tts {

// The stretches of a message, with the session parameters of `settings`.
SpeechJob make_job(MessageKind kind, const std::string &message, const VoiceSettings &settings,
                   const std::vector<Voice> &voices, const ModuleConfig &config);

class TtsBackend : public ModuleBackend {
  public:
    TtsBackend(ModuleOutput &out, ModuleConfig config) : worker_(out), config_(std::move(config)) {}
    ~TtsBackend() override;

    bool init(std::vector<std::string> &info, std::string &error) override;
    std::vector<Voice> voices() override { return voices_; }
    void speak(MessageKind kind, const std::string &message, const VoiceSettings &settings) override;
    void settle() override {
        worker_.stop();
        worker_.wait();
    }
    void stop() override { worker_.stop(); }
    void pause() override { worker_.pause(); }

  private:
    SpeechWorker worker_;
    ModuleConfig config_;
    std::vector<Voice> voices_;
    bool logged_in_ = false;
};

}  // namespace sd_tts

#endif  // SD_TTS_TTS_BACKEND_H
