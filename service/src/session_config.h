// SPDX-License-Identifier: Apache-2.0
// The settings of one synthesis session, parsed from its parameter list and
// mapped onto the engine's own scales.
#ifndef SPEECH_SESSION_CONFIG_H
#define SPEECH_SESSION_CONFIG_H

#include <memory>
#include <string>
#include <vector>

namespace speech {

namespace lexicons {
class LexiconSet;
}

// How a session's text is taken: SSML when it starts with <speak (after an
// optional byte-order mark and XML declaration), or as `text_type` says.
enum class TextType { detect, ssml, text };

struct SessionConfig {
    std::string engine_voice = "cmn-latn-pinyin";
    int sample_rate = 16000;
    int speed = 50;   // 0..100
    int volume = 50;  // 0..100
    int pitch = 50;   // 0..100
    int rdn = 0;      // 0 by context, 1 values, 2 digits one by one
    int show_readers = 0;  // 1: the reading table says who decided each reading
    // The service's own voice xiaoxin: the text goes through the Mandarin
    // front end; any engine voice named directly reads the text as it is.
    bool mandarin_front_end = true;
    TextType text_type = TextType::detect;
    // The most audio one text may ask for or make: 1..86400.
    int max_audio_seconds = 3600;
    // The `lexicons` parameter's files, and once the session begins, the
    // host's lexicons loaded (those of SPEECH_SERVICE_LEXICONS first).
    std::vector<std::string> lexicon_files;
    std::shared_ptr<const lexicons::LexiconSet> lexicons;
};

// The environment variable in which a host sets session parameters of its
// own: they take precedence over those of QTTSSessionBegin.
inline constexpr const char *kHostSessionParamsEnv = "SPEECH_SERVICE_SESSION_PARAMS";

// Parses a session parameter list (null means all defaults). Returns 0 or
// the error code of the first problem found.
int parse_session_config(const char *params, SessionConfig &out);

// The same with the host's list `host_params` (null for none) read after
// `params`, so that its pairs win. Both lists are parsed and validated
// alike: a malformed host list or a bad value in it fails with the code the
// same pair would get in `params`.
int parse_session_config(const char *params, const char *host_params, SessionConfig &out);

// The engine's words per minute for speed 0..100: 0..50 onto 80..175,
// 50..100 onto 175..450.
int engine_rate(int speed);
// The engine's amplitude for volume 0..100: 0..200.
int engine_volume(int volume);
// The engine's pitch for pitch 0..100: unchanged.
int engine_pitch(int pitch);

}  // namespace speech

#endif  // SPEECH_SESSION_CONFIG_H
