// SPDX-License-Identifier: Apache-2.0
#include "engine_segments.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "digit_reading.h"
#include "engine_text.h"
#include "mandarin_data.h"
#include "lexicon_reading.h"
#include "session_text.h"
#include "speech_service.h"
#include "ssml_reading.h"
#include "ssml_values.h"

namespace speech {
namespace {

// `value` times `factor`, clamped while still a double: a huge factor
// must give the top of the range, never wrap around an int.
int scaled(int value, double factor, int lo, int hi) {
    const double v = value * factor;
    if (std::isnan(v)) return std::clamp(value, lo, hi);
    return static_cast<int>(std::lround(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi))));
}

// The segments of a document: Mandarin tokens joined as for plain text
// while voice and prosody stay the same.
class SegmentSink final : public ssml::ReadingSink {
  public:
    SegmentSink(const SessionConfig &config, std::vector<EngineSegment> &out) : config_(config), out_(out) {}

    void tokens(std::string_view, const std::vector<mandarin::Token> &tokens, const ssml::Prosody &p) override {
        if (p != prosody_) flush();
        prosody_ = p;
        builder_.add(tokens);
    }
    void voice_text(const std::string &voice, std::string_view text, const ssml::Prosody &p) override {
        flush();
        EngineSegment s{voice, std::string(text)};
        if (config_.rdn == 2) s.text = spell_out_digits(s.text);
        push(std::move(s), p);
    }
    void silence(int ms) override {
        flush();
        // Breaks in a row are one silence, in parts of at most a minute (the
        // helper takes no longer one).
        if (!out_.empty() && out_.back().silence_ms > 0 && out_.back().silence_ms + ms <= ssml::kMaxBreakMs) {
            out_.back().silence_ms += ms;
            return;
        }
        if (!out_.empty() && out_.back().silence_ms == 0) {
            EngineSegment &last = out_.back();
            fill_settings(last, settings_of(last));
            last.end_pause = false;  // the silence is the pause
        }
        EngineSegment s;
        s.silence_ms = ms;
        out_.push_back(std::move(s));
    }
    void flush() {
        for (mandarin::VoiceText &v : builder_.take()) push(EngineSegment{std::move(v.voice), std::move(v.text)}, prosody_);
    }

  private:
    struct Values {
        int rate, volume, pitch;
    };
    Values settings_of(const EngineSegment &s) const {
        if (s.own_settings()) return {s.rate, s.volume, s.pitch};
        return {engine_rate(config_.speed), engine_volume(config_.volume), engine_pitch(config_.pitch)};
    }
    static void fill_settings(EngineSegment &s, const Values &v) {
        s.rate = v.rate;
        s.volume = v.volume;
        s.pitch = v.pitch;
    }
    void push(EngineSegment s, const ssml::Prosody &p) {
        if (p != ssml::Prosody{}) {
            fill_settings(s, {scaled(engine_rate(config_.speed), p.rate, 80, 450),
                              scaled(engine_volume(config_.volume), p.volume, 0, 200),
                              scaled(engine_pitch(config_.pitch), p.pitch, 0, 100)});
        }
        out_.push_back(std::move(s));
    }

    const SessionConfig &config_;
    std::vector<EngineSegment> &out_;
    mandarin::EngineTextBuilder builder_;
    ssml::Prosody prosody_;
};

int read_document(const SessionConfig &config, const ssml::Document &doc, std::vector<EngineSegment> &out,
                  const std::atomic<bool> *cancel) {
    const ssml::ReadingSettings settings = document_reading_settings(config);
    SegmentSink sink(config, out);
    bool no_lexicon = false;
    if (!ssml::read_document(doc, settings, sink, cancel, no_lexicon))
        return no_lexicon ? SPEECH_ERR_ENGINE_START : SPEECH_ERR_INVALID_HANDLE;
    sink.flush();
    return SPEECH_OK;
}

// Runs `prepare`, with `out` empty unless it succeeds: no exception leaves
// the text's preparation.
template <class Prepare>
int prepared(std::vector<EngineSegment> &out, Prepare &&prepare) {
    out.clear();
    try {
        const int rc = prepare();
        if (rc != SPEECH_OK) out.clear();
        return rc;
    } catch (const std::bad_alloc &) {
        out.clear();
        return SPEECH_ERR_OUT_OF_MEMORY;
    } catch (...) {
        out.clear();
        return SPEECH_ERR_SYSTEM;
    }
}

}  // namespace

int engine_segments(const SessionConfig &config, std::string_view text, std::vector<EngineSegment> &out,
                    const std::atomic<bool> *cancel) {
    return prepared(out, [&]() -> int {
        if (config.mandarin_front_end) {
            const mandarin::Lexicon *lexicon = mandarin_lexicon();
            if (lexicon == nullptr) return SPEECH_ERR_ENGINE_START;
            mandarin::EngineTextBuilder builder;
            lexicons::read_with_lexicons(
                *lexicon, config.lexicons.get(), text, static_cast<mandarin::NumberMode>(config.rdn),
                [&builder](const std::vector<mandarin::Token> &tokens) { builder.add(tokens); }, cancel);
            for (mandarin::VoiceText &s : builder.take()) out.push_back(EngineSegment{std::move(s.voice), std::move(s.text)});
            if (cancel != nullptr && cancel->load()) return SPEECH_ERR_INVALID_HANDLE;
            return SPEECH_OK;
        }
        EngineSegment segment{config.engine_voice, std::string(text)};
        if (config.rdn == 2) segment.text = spell_out_digits(segment.text);
        out.push_back(std::move(segment));
        return SPEECH_OK;
    });
}

int engine_segments(const SessionConfig &config, const ssml::Document &doc, std::vector<EngineSegment> &out,
                    const std::atomic<bool> *cancel) {
    return prepared(out, [&] { return read_document(config, doc, out, cancel); });
}

}  // namespace speech
