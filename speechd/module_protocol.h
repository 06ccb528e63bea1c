// SPDX-License-Identifier: Apache-2.0
// The output-module protocol as the server speaks it on the module's
// standard input: commands, their data blocks ended by a line ".", and the
// replies. What is spoken, and how, is left to a ModuleBackend.
#ifndef SD_TTS_MODULE_PROTOCOL_H
#define SD_TTS_MODULE_PROTOCOL_H

#include <string>
#include <string_view>
#include <vector>

#include "module_output.h"
#include "voice_settings.h"

namespace sd_tts {

enum class MessageKind { text, character, key, sound_icon };

class ModuleBackend {
  public:
    virtual ~ModuleBackend() = default;
    // Readies the synthesis; false with why in `error`. `info` lines go to
    // the server with the 299 reply.
    virtual bool init(std::vector<std::string> &info, std::string &error) = 0;
    virtual std::vector<Voice> voices() = 0;
    // Starts speaking `message` (called after the 200 reply is written);
    // its events follow on the output from then on.
    virtual void speak(MessageKind kind, const std::string &message, const VoiceSettings &settings) = 0;
    // Ends a message still being spoken, with its events, before the next
    // one is received (the server should not send one before the end).
    virtual void settle() = 0;
    // Both return at once; the events follow when it is done.
    virtual void stop() = 0;
    virtual void pause() = 0;
};

class ModuleProtocol {
  public:
    // The longest message kept; the rest of a longer one is read and
    // dropped, and the message refused.
    static constexpr std::size_t kMaxMessage = 4u << 20;

    ModuleProtocol(ModuleOutput &out, ModuleBackend &backend) : out_(out), backend_(backend) {}

    // Handles one line read from the server, without its line end; false
    // once QUIT has been answered.
    bool line(std::string_view line);

    const VoiceSettings &settings() const { return settings_; }

  private:
    enum class State { command, settings, audio, log_level, message };

    void command(std::string_view line);
    void block_line(std::string_view line);
    void end_block();

    ModuleOutput &out_;
    ModuleBackend &backend_;
    State state_ = State::command;
    MessageKind kind_ = MessageKind::text;
    std::string message_;
    bool message_too_long_ = false;
    bool first_message_line_ = true;
    VoiceSettings settings_;
    VoiceSettings pending_;
    bool initialised_ = false;
};

}  // namespace sd_tts

#endif  // SD_TTS_MODULE_PROTOCOL_H
