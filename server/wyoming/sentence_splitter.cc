// SPDX-License-Identifier: Apache-2.0
#include "wyoming/sentence_splitter.h"

#include <cctype>
#include <cstring>

namespace tts_server::wyoming {
namespace {

// Full stops of CJK text: a sentence ends at once after them.
const char *const kWideEnds[] = {"\xE3\x80\x82" /* 。 */, "\xEF\xBC\x81" /* ！ */, "\xEF\xBC\x9F" /* ？ */,
                                 "\xEF\xBC\x8E" /* ． */};
// What may close a sentence after its stop: quotes and brackets.
const char *const kClosers[] = {"\"", "'", ")", "]", "\xE2\x80\x9D" /* ” */, "\xE2\x80\x99" /* ’ */,
                                "\xE3\x80\x8D" /* 」 */, "\xE3\x80\x8F" /* 』 */, "\xEF\xBC\x89" /* ） */};

// The length of the mark from `list` at `at`, or 0.
template <std::size_t N>
std::size_t mark_at(const std::string &s, std::size_t at, const char *const (&list)[N]) {
    for (const char *m : list) {
        const std::size_t n = std::strlen(m);
        if (s.compare(at, n, m) == 0) return n;
    }
    return 0;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool ascii_stop(char c) { return c == '.' || c == '!' || c == '?'; }

// The length of the UTF-8 sequence a lead byte begins.
std::size_t sequence_length(unsigned char c) { return c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

bool is_ssml(const std::string &s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    return first != std::string::npos && s[first] == '<';
}

// Where the sentence that begins `s` ends (just past its stop and what
// closes it), or 0 if `s` does not hold a whole one yet.
std::size_t sentence_end(const std::string &s) {
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '\n') return i + 1;
        const std::size_t wide = mark_at(s, i, kWideEnds);
        const bool ascii = wide == 0 && ascii_stop(s[i]);
        if (wide == 0 && !ascii) {
            i += sequence_length(static_cast<unsigned char>(s[i]));
            continue;
        }
        std::size_t end = i + (wide != 0 ? wide : 1);
        for (std::size_t n; end < s.size() && ((n = mark_at(s, end, kWideEnds)) != 0 || (n = mark_at(s, end, kClosers)) != 0 ||
                                               (ascii_stop(s[end]) && (n = 1)));)
            end += n;
        // Only what follows shows that the stops and closers are over.
        if (end >= s.size() || end + sequence_length(static_cast<unsigned char>(s[end])) > s.size()) return 0;
        // "3.5", "e.g.x": an ASCII stop ends a sentence only before a space.
        if (wide == 0 && !is_space(s[end])) {
            i = end;
            continue;
        }
        return end;
    }
    return 0;
}

}  // namespace

std::vector<std::string> SentenceSplitter::add(const std::string &piece) {
    pending_ += piece;
    total_ += piece.size();
    std::vector<std::string> out;
    // SSML is one document: it is spoken whole, at the end.
    if (is_ssml(pending_)) return out;
    for (std::size_t end; (end = sentence_end(pending_)) != 0;) {
        out.push_back(pending_.substr(0, end));
        pending_.erase(0, end);
    }
    return out;
}

std::string SentenceSplitter::finish() {
    std::string rest;
    rest.swap(pending_);
    return rest;
}

bool speakable(const std::string &sentence) {
    for (const char c : sentence) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || std::isalnum(u)) return true;
    }
    return false;
}

}  // namespace tts_server::wyoming
