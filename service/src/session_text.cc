// SPDX-License-Identifier: Apache-2.0
#include "session_text.h"

#include <cstdlib>

#include "mandarin_data.h"
#include "lexicon_files.h"
#include "lexicon_reading.h"
#include "lexicon_set.h"
#include "reading_table.h"
#include "speech_service.h"
#include "ssml_reading.h"
#include "voice_catalog.h"
#include "voice_reading.h"

namespace speech {
namespace {

// The reading table of a document: one line per token as for plain text,
// for text an engine voice reads as for that voice, and "\tsilence:<ms>ms"
// for a silence.
class TableSink final : public ssml::ReadingSink {
  public:
    TableSink(std::string &table, const SessionConfig &config) : table_(table), config_(config) {}
    void tokens(std::string_view text, const std::vector<mandarin::Token> &tokens, const ssml::Prosody &) override {
        for (const mandarin::Token &t : tokens) {
            if (t.begin == t.end && t.reading.empty()) continue;  // a sentence's end
            table_.append(text.substr(t.begin, t.end - t.begin));
            table_ += '\t';
            table_ += t.reading;
            if (config_.show_readers != 0) {
                table_ += '\t';
                table_ += mandarin::readers_of(t);
            }
            table_ += '\n';
        }
    }
    void voice_text(const std::string &voice, std::string_view text, const ssml::Prosody &) override {
        SessionConfig as_voice = config_;
        as_voice.engine_voice = voice;
        table_ += voice_reading_table(as_voice, text);
    }
    void silence(int ms) override { table_ += "\tsilence:" + std::to_string(ms) + "ms\n"; }

  private:
    std::string &table_;
    const SessionConfig &config_;
};

bool is_ssml(const SessionConfig &config, std::string_view text) {
    if (config.text_type != TextType::detect) return config.text_type == TextType::ssml;
    return ssml::looks_like_ssml(text);
}

}  // namespace

int load_session_lexicons(SessionConfig &config, std::string &message) {
    message.clear();
    std::vector<std::string> paths;
    if (const char *env = std::getenv(tts::kLexiconsEnv)) paths = tts::split_paths(env);
    paths.insert(paths.end(), config.lexicon_files.begin(), config.lexicon_files.end());
    if (!lexicons::load_lexicons(paths, config.lexicons, message)) return SPEECH_ERR_BAD_LEXICON;
    return SPEECH_OK;
}

int read_session_text(const SessionConfig &config, std::string_view text, SessionText &out, std::string &message) {
    message.clear();
    out.plain = text;
    out.document.reset();
    if (!is_ssml(config, text)) return SPEECH_OK;
    ssml::Options options;
    options.voice_exists = [](const std::string &name) { return engine_voice_exists(name); };
    if (config.lexicons) options.lexicon_names = config.lexicons->names();
    xml::Error error;
    ssml::Document &doc = out.document.emplace();
    if (!ssml::parse_ssml(text, options, doc, error)) {
        out.document.reset();
        message = "SSML " + error.text();
        return SPEECH_ERR_BAD_SSML;
    }
    for (const std::string &note : doc.notes) message += (message.empty() ? "" : "; ") + note;
    out.plain = {};
    return SPEECH_OK;
}

ssml::ReadingSettings document_reading_settings(const SessionConfig &config) {
    ssml::ReadingSettings settings;
    settings.lexicon = mandarin_lexicon();
    settings.lexicons = config.lexicons.get();
    settings.mode = static_cast<mandarin::NumberMode>(config.rdn);
    settings.voice = config.mandarin_front_end ? ssml::kMandarin : config.engine_voice;
    return settings;
}

int text_reading_table(const SessionConfig &config, const SessionText &text, std::string &table) {
    table.clear();
    const auto mode = static_cast<mandarin::NumberMode>(config.rdn);
    if (!text.document) {
        if (!config.mandarin_front_end) {
            table = voice_reading_table(config, text.plain);
            return SPEECH_OK;
        }
        const mandarin::Lexicon *lexicon = mandarin_lexicon();
        if (lexicon == nullptr) return SPEECH_ERR_ENGINE_START;
        if (config.show_readers != 0) table = mandarin::model_missing_line(*lexicon);
        lexicons::read_with_lexicons(*lexicon, config.lexicons.get(), text.plain, mode, [&](const auto &tokens) {
            mandarin::append_table_lines(text.plain, tokens, table, config.show_readers != 0);
        });
        return SPEECH_OK;
    }
    const ssml::ReadingSettings settings = document_reading_settings(config);
    if (config.show_readers != 0 && settings.lexicon != nullptr) table = mandarin::model_missing_line(*settings.lexicon);
    TableSink sink(table, config);
    bool no_lexicon = false;
    if (!ssml::read_document(*text.document, settings, sink, nullptr, no_lexicon) && no_lexicon)
        return SPEECH_ERR_ENGINE_START;
    return SPEECH_OK;
}

}  // namespace speech
