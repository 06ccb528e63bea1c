// SPDX-License-Identifier: Apache-2.0
#include "ssml_document.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

#include "pinyin_text.h"
#include "shown_text.h"
#include "ssml_values.h"

namespace speech::ssml {

using lexicons::normalize_pinyin;
namespace {

// Prosody factors multiply as elements nest: kept finite and bounded.
constexpr double kMaxFactor = 1000.0;
double capped(double f) { return f > kMaxFactor ? kMaxFactor : f; }

constexpr int kParagraphMs = 250;

struct Frame {
    std::string name;
    std::string voice;
    Prosody prosody;
    bool skip = false;            // content not spoken (sub, desc, metadata, ...)
    bool collect = false;         // content gathered for the element's end (say-as, phoneme)
    bool gather = false;          // inside such an element: its text goes there
    std::string interpret_as, format, ph, alphabet;
    std::string content;
};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

class DocumentBuilder final : public xml::Handler {
  public:
    DocumentBuilder(const Options &options, Document &out) : options_(options), out_(out) {}

    bool start(const xml::Name &element_name, const xml::Attributes &attrs, std::string &error) override {
        const std::string_view name = element_name.local();
        if (frames_.empty() && name != "speak") {
            error = "the document's root element is " + tts_text::shown(element_name.written()) + ", not speak";
            return false;
        }
        Frame f;
        if (!frames_.empty()) {
            const Frame &parent = frames_.back();
            f.voice = parent.voice;
            f.prosody = parent.prosody;
            f.skip = parent.skip || parent.collect;
            f.gather = parent.collect || parent.gather;
        }
        f.name = std::string(name);
        if (const char *lang = attrs.find("xml:lang"); lang != nullptr && !f.skip) lang_voice(lang, f.voice);
        if (f.skip) {
            frames_.push_back(std::move(f));
            return true;
        }
        if (!element(name, attrs, f, error)) return false;
        frames_.push_back(std::move(f));
        return true;
    }

    bool end(const xml::Name &, std::string &error) override {
        Frame f = std::move(frames_.back());
        frames_.pop_back();
        if (f.collect) return finish_collected(f, error);
        if (f.skip) return true;
        if (f.name == "s" || f.name == "p") {
            if (!out_.spans.empty() && out_.spans.back().kind == SpanKind::text) {
                Span &last = out_.spans.back();
                last.text += '\n';
                last.sentence_ends.push_back(last.text.size());
            } else {
                push(Span{SpanKind::sentence_end, {}, {}, -1, 0, f.voice, f.prosody, {}});
            }
            if (f.name == "p") push(Span{SpanKind::silence, {}, {}, -1, kParagraphMs, {}, {}, {}});
        }
        return true;
    }

    bool text(std::string_view text, std::string &) override {
        if (frames_.empty()) return true;
        Frame &f = frames_.back();
        if (f.collect || f.gather) {
            for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
                if (it->collect) {
                    it->content.append(text);
                    break;
                }
        } else if (!f.skip) {
            push_text(std::string(text), -1, f);
        }
        return true;
    }

  private:
    bool bad(std::string &error, std::string_view element, std::string_view attribute, std::string_view value) {
        error = "bad " + std::string(attribute) + " \"" + tts_text::shown(value) + "\" on " + std::string(element);
        return false;
    }

    bool voice_exists(const std::string &name) const {
        return name == kMandarin || (options_.voice_exists && options_.voice_exists(name));
    }

    void lang_voice(std::string_view lang, std::string &voice) {
        const std::string l = lower(lang);
        if (l.rfind("zh", 0) == 0 || l.rfind("cmn", 0) == 0) {
            voice = kMandarin;
            return;
        }
        const std::string written(lang);
        for (const std::string &candidate : {written, written.substr(0, written.find('-'))}) {
            if (!candidate.empty() && candidate != kMandarin && voice_exists(candidate)) {
                voice = candidate;
                return;
            }
        }
        out_.notes.push_back("no voice for xml:lang \"" + tts_text::shown(lang) + "\": the voice in force reads it");
    }

    // The effects of element `name` on its frame (and spans it says at once).
    bool element(std::string_view name, const xml::Attributes &attrs, Frame &f, std::string &error) {
        auto attr = [&](const char *key) -> std::string_view {
            const char *v = attrs.find(key);
            return v == nullptr ? std::string_view() : std::string_view(v);
        };
        if (name == "voice") {
            if (const char *v = attrs.find("name")) {
                if (!voice_exists(v)) return bad(error, name, "name", v);
                f.voice = v;
            }
        } else if (name == "break") {
            int ms = 500;
            if (attrs.find("time") != nullptr) {
                const auto t = break_time(attr("time"));
                if (!t) return bad(error, name, "time", attr("time"));
                ms = *t;
            } else if (attrs.find("strength") != nullptr) {
                const auto s = break_strength(attr("strength"));
                if (!s) return bad(error, name, "strength", attr("strength"));
                ms = *s;
            }
            if (ms > 0) push(Span{SpanKind::silence, {}, {}, -1, ms, {}, {}, {}});
        } else if (name == "prosody") {
            struct Knob {
                const char *key;
                std::optional<double> (*parse)(std::string_view);
                double Prosody::*field;
            };
            for (const Knob &k : {Knob{"rate", rate_factor, &Prosody::rate}, Knob{"pitch", pitch_factor, &Prosody::pitch},
                                  Knob{"volume", volume_factor, &Prosody::volume}}) {
                if (attrs.find(k.key) == nullptr) continue;
                const auto factor = k.parse(attr(k.key));
                if (!factor) return bad(error, name, k.key, attr(k.key));
                f.prosody.*k.field = capped(f.prosody.*k.field * *factor);
            }
        } else if (name == "emphasis") {
            const auto e = emphasis_prosody(attr("level"));
            if (!e) return bad(error, name, "level", attr("level"));
            f.prosody.rate = capped(f.prosody.rate * e->rate);
            f.prosody.pitch = capped(f.prosody.pitch * e->pitch);
            f.prosody.volume = capped(f.prosody.volume * e->volume);
        } else if (name == "sub") {
            if (attrs.find("alias") == nullptr) {
                error = "sub without alias";
                return false;
            }
            push_text(std::string(attr("alias")), -1, f);
            f.skip = true;
        } else if (name == "say-as") {
            f.collect = true;
            f.interpret_as = lower(attr("interpret-as"));
            f.format = lower(attr("format"));
            if (f.interpret_as == "date" && !f.format.empty() && !valid_date_format(f.format))
                return bad(error, name, "format", attr("format"));
        } else if (name == "phoneme") {
            f.collect = true;
            f.alphabet = attr("alphabet");
            f.ph = attr("ph");
            if (attrs.find("ph") == nullptr) {
                error = "phoneme without ph";
                return false;
            }
            if (f.alphabet == "x-pinyin" && normalize_pinyin(f.ph).empty()) return bad(error, name, "ph", f.ph);
        } else if (name == "lexicon") {
            const std::string uri(attr("uri"));
            const auto &names = options_.lexicon_names;
            if (std::find(names.begin(), names.end(), uri) == names.end()) {
                error = "lexicon \"" + tts_text::shown(uri) + "\" is not one the host registered";
                return false;
            }
            f.skip = true;
        } else if (name == "desc" || name == "metadata" || name == "meta") {
            f.skip = true;
        }
        // speak, p, s, mark, audio (its content is the fallback), lookup and
        // unknown elements: their content is read.
        return true;
    }

    bool finish_collected(const Frame &f, std::string &) {
        const std::string &c = f.content;
        if (f.name == "phoneme") {
            if (f.alphabet == "x-pinyin") {
                push(Span{SpanKind::reading, c, normalize_pinyin(f.ph), -1, 0, f.voice, f.prosody, {}});
            } else {
                out_.notes.push_back("phoneme alphabet \"" + tts_text::shown(f.alphabet) + "\" is not known: its content is read");
                push_text(c, -1, f);
            }
            return true;
        }
        const std::string &kind = f.interpret_as;
        std::optional<std::string> said;
        if (kind == "characters" || kind == "spell-out" || kind == "verbatim") {
            push(Span{SpanKind::characters, c, {}, -1, 0, f.voice, f.prosody, {}});
            return true;
        }
        if (kind == "cardinal" || kind == "number") return push_text(c, 1, f);
        if (kind == "ordinal") return push_text(ordinal_text(c), 1, f);
        if (kind == "digits") return push_text(c, 2, f);
        if (kind == "telephone") {
            if (const auto r = telephone_reading(c)) {
                push(Span{SpanKind::reading, c, *r, -1, 0, f.voice, f.prosody, {}});
                return true;
            }
        } else if (kind == "date") {
            said = date_text(c, f.format.empty() ? "ymd" : f.format);
        } else if (kind == "time") {
            said = time_text(c);
        }
        if (said) return push_text(*said, 0, f);
        out_.notes.push_back("say-as \"" + tts_text::shown(kind) + "\" could not read \"" + tts_text::shown(c) + "\": it is read as written");
        return push_text(c, -1, f);
    }

    bool push_text(std::string text, int mode, const Frame &f) {
        if (!out_.spans.empty()) {
            Span &last = out_.spans.back();
            if (last.kind == SpanKind::text && last.number_mode == mode && last.voice == f.voice &&
                last.prosody == f.prosody) {
                last.text += text;
                return true;
            }
        }
        push(Span{SpanKind::text, std::move(text), {}, mode, 0, f.voice, f.prosody, {}});
        return true;
    }

    void push(Span span) { out_.spans.push_back(std::move(span)); }

    const Options &options_;
    Document &out_;
    std::vector<Frame> frames_;
};

}  // namespace

bool looks_like_ssml(std::string_view t) {
    auto skip_blanks = [&t] {
        while (!t.empty() && (t[0] == ' ' || t[0] == '\t' || t[0] == '\n' || t[0] == '\r')) t.remove_prefix(1);
    };
    if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
    skip_blanks();
    // The prolog: the XML declaration, comments and processing instructions.
    for (;;) {
        const bool pi = t.substr(0, 2) == "<?", comment = t.substr(0, 4) == "<!--";
        if (!pi && !comment) break;
        const std::size_t end = t.find(pi ? "?>" : "-->", pi ? 2 : 4);
        if (end == std::string_view::npos) return false;
        t.remove_prefix(end + (pi ? 2 : 3));
        skip_blanks();
    }
    if (t.substr(0, 9) == "<!DOCTYPE") {
        // Refused when read, but a document all the same: never read aloud as text.
        t.remove_prefix(9);
        skip_blanks();
        return t.substr(0, 5) == "speak";
    }
    if (t.substr(0, 6) != "<speak") return false;
    return t.size() == 6 || std::string_view(" \t\r\n>/:").find(t[6]) != std::string_view::npos;
}

bool parse_ssml(std::string_view text, const Options &options, Document &out, xml::Error &error) {
    out = Document{};
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    DocumentBuilder builder(options, out);
    if (xml::parse(text, builder, error)) return true;
    out = Document{};
    return false;
}

}  // namespace speech::ssml
