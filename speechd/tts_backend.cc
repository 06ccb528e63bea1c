// SPDX-License-Identifier: Apache-2.0
#include "tts_backend.h"

#include <memory>

#include "key_names.h"
#include "module_log.h"
#include "speech_service.h"
#include "ssml_marks.h"

namespace sd_tts {

namespace {

constexpr const char *kLogin = "appid = 5d0e7c11, work_dir = /";

struct ServiceFree {
    void operator()(char *p) const { speech_service_free(p); }
};

std::string params_for(const VoiceSettings &settings, const std::string &voice, bool ssml, const ModuleConfig &config) {
    std::string params = session_params(settings, voice, ssml);
    params += ", max_audio_seconds = " + std::to_string(config.max_message_seconds);
    if (!config.lexicons.empty()) params += ", lexicons = " + config.lexicons;
    return params;
}

// CHAR and KEY may come wrapped as SSML; their one line is what counts.
std::string bare(const std::string &message) {
    std::string text = message.find('<') != std::string::npos ? ssml_text(message) : message;
    if (text.size() > 1 && text.back() == '\n') text.pop_back();
    return text;
}

}  // namespace

SpeechJob make_job(MessageKind kind, const std::string &message, const VoiceSettings &settings,
                   const std::vector<Voice> &voices, const ModuleConfig &config) {
    const std::string voice = choose_voice(settings, voices);
    SpellingStyle style;
    style.mandarin = is_mandarin(voice);
    style.announce_capitals = settings.capitals != CapitalLetters::none;
    SpeechJob job;
    switch (kind) {
    case MessageKind::sound_icon:
        job.icon = bare(message);
        return job;
    case MessageKind::character:
        job.utterances.push_back({params_for(settings, voice, true, config), char_document(bare(message), style), {}, false});
        return job;
    case MessageKind::key:
        job.utterances.push_back({params_for(settings, voice, true, config), key_document(bare(message), style), {}, false});
        return job;
    case MessageKind::text:
        break;
    }
    std::string warning;
    for (MessagePart &part : split_at_marks(message, warning)) {
        Utterance u;
        bool ssml = part.is_ssml;
        if (settings.spelling && !part.document.empty()) {
            part.document = spelled_document(ssml ? ssml_text(part.document) : part.document, style);
            ssml = true;
        }
        u.params = params_for(settings, voice, ssml, config);
        u.text = std::move(part.document);
        u.mark_after = std::move(part.mark_after);
        u.has_mark = part.has_mark;
        job.utterances.push_back(std::move(u));
    }
    if (!warning.empty()) log_line(2, "the message is not well-formed SSML, read as text: " + warning);
    return job;
}

TtsBackend::~TtsBackend() {
    worker_.stop();
    worker_.wait();
    if (logged_in_) MSPLogout();
}

bool TtsBackend::init(std::vector<std::string> &info, std::string &error) {
    if (!logged_in_) {
        const int rc = MSPLogin(nullptr, nullptr, kLogin);
        if (rc != SPEECH_OK) {
            error = std::string("the speech service refused the login: ") + speech_service_error_text(rc);
            return false;
        }
        logged_in_ = true;
    }
    char *raw = nullptr;
    const int rc = speech_service_voices(&raw);
    std::unique_ptr<char, ServiceFree> list(raw);
    if (rc != SPEECH_OK) {
        error = std::string("the speech service lists no voices: ") + speech_service_error_text(rc);
        return false;
    }
    voices_ = voices_from_list(list.get());
    info.push_back("tts: " + std::to_string(voices_.size()) + " voices, Mandarin first");
    return true;
}

void TtsBackend::speak(MessageKind kind, const std::string &message, const VoiceSettings &settings) {
    log_line(4, "message: " + message.substr(0, 200));
    worker_.speak(make_job(kind, message, settings, voices_, config_));
}

}  // namespace sd_tts
