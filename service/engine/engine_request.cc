// SPDX-License-Identifier: Apache-2.0
#include "engine_request.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine_protocol.h"

namespace speech {
namespace {

constexpr std::size_t kMaxLine = 256;
constexpr unsigned long long kMaxSegment = 1ull << 31;
constexpr unsigned long long kMaxSilenceMs = 60000;  // the longest break; longer silences come in parts

// A whole decimal number in [lo, hi].
bool parse_number(const std::string &text, unsigned long long lo, unsigned long long hi, unsigned long long &out) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::strtoull(text.c_str(), nullptr, 10);
    return out >= lo && out <= hi;
}

}  // namespace

void append_request_head(std::string &out, const EngineSettings &s) {
    out += kRequestMagic;
    out += "\nrate " + std::to_string(s.rate) + "\nvolume " + std::to_string(s.volume) + "\npitch " +
           std::to_string(s.pitch) + "\nsample_rate " + std::to_string(s.sample_rate) + "\n";
}

void append_request_segment(std::string &out, std::string_view voice, std::string_view text) {
    out += "text ";
    out += voice;
    out += ' ';
    out += std::to_string(text.size());
    out += '\n';
    out += text;
}

void append_request_segment(std::string &out, const RequestSegment &s) {
    if (s.silence_ms > 0) {
        out += "silence " + std::to_string(s.silence_ms) + "\n";
        return;
    }
    if (!s.own_settings()) return append_request_segment(out, s.voice, s.text);
    out += "text " + s.voice + ' ' + std::to_string(s.text.size()) + ' ' + std::to_string(s.rate) + ' ' +
           std::to_string(s.volume) + ' ' + std::to_string(s.pitch) + ' ' + (s.end_pause ? '1' : '0') + '\n';
    out += s.text;
}

void append_request_end(std::string &out) {
    out += kRequestEnd;
    out += '\n';
}

RequestReader::Status RequestReader::bad(std::string why) {
    error_ = std::move(why);
    return status_ = kBad;
}

RequestReader::Status RequestReader::feed(const char *data, std::size_t len) {
    while (len > 0 && status_ == kMore) {
        if (in_text_) {
            const std::size_t take = std::min(len, text_left_);
            request_.segments.back().text.append(data, take);
            data += take;
            len -= take;
            text_left_ -= take;
            in_text_ = text_left_ > 0;
            continue;
        }
        const char *nl = static_cast<const char *>(std::memchr(data, '\n', len));
        const std::size_t take = nl == nullptr ? len : static_cast<std::size_t>(nl - data);
        if (line_.size() + take > kMaxLine) return bad("request line too long");
        line_.append(data, take);
        data += take;
        len -= take;
        if (nl == nullptr) break;
        ++data;
        --len;
        line_done();
        line_.clear();
    }
    return status_;
}

RequestReader::Status RequestReader::line_done() {
    if (!started_) {
        if (line_ != kRequestMagic) return bad("not a request of this protocol version");
        started_ = true;
        return kMore;
    }
    if (line_ == kRequestEnd) return status_ = kDone;
    const std::size_t sp = line_.find(' ');
    const std::string key = line_.substr(0, sp);
    const std::string rest = sp == std::string::npos ? std::string() : line_.substr(sp + 1);
    unsigned long long n = 0;
    EngineSettings &s = request_.settings;
    if (key == "silence") {
        if (!parse_number(rest, 1, kMaxSilenceMs, n)) return bad("bad silence line");
        RequestSegment silence;
        silence.silence_ms = static_cast<int>(n);
        request_.segments.push_back(std::move(silence));
        return kMore;
    }
    if (key == "text") {
        // text VOICE NBYTES [RATE VOLUME PITCH ENDPAUSE]
        std::vector<std::string> words;
        for (std::size_t from = 0; from <= rest.size();) {
            const std::size_t sp2 = std::min(rest.find(' ', from), rest.size());
            words.push_back(rest.substr(from, sp2 - from));
            from = sp2 + 1;
        }
        RequestSegment segment;
        segment.voice = words[0];
        unsigned long long rate = 0, volume = 0, pitch = 0, pause = 0;
        const bool plain = words.size() == 2, own = words.size() == 6;
        if (segment.voice.empty() || !(plain || own) || !parse_number(words[1], 0, kMaxSegment, n) ||
            (own && !(parse_number(words[2], 80, 450, rate) && parse_number(words[3], 0, 200, volume) &&
                      parse_number(words[4], 0, 100, pitch) && parse_number(words[5], 0, 1, pause))))
            return bad("bad text line");
        if (own) {
            segment.rate = static_cast<int>(rate);
            segment.volume = static_cast<int>(volume);
            segment.pitch = static_cast<int>(pitch);
            segment.end_pause = pause == 1;
        }
        request_.segments.push_back(std::move(segment));
        request_.segments.back().text.reserve(static_cast<std::size_t>(n));
        text_left_ = static_cast<std::size_t>(n);
        in_text_ = n > 0;
        return kMore;
    }
    struct Field {
        const char *name;
        int *slot;
        unsigned long long lo, hi;
    };
    const Field fields[] = {{"rate", &s.rate, 80, 450}, {"volume", &s.volume, 0, 200},
                            {"pitch", &s.pitch, 0, 100}, {"sample_rate", &s.sample_rate, 8000, 48000}};
    for (const Field &f : fields) {
        if (key != f.name) continue;
        if (!parse_number(rest, f.lo, f.hi, n)) return bad("bad " + key);
        *f.slot = static_cast<int>(n);
        return kMore;
    }
    return bad("unknown request line: " + key);
}

}  // namespace speech
