// SPDX-License-Identifier: Apache-2.0
// The Mandarin front end on any bytes, under each rdn: speech_service_reading
// answers with a table or a code, and the tokens keep their promises
// (ordered, covering every character but whitespace and the invisible ones,
// all Han or none, one well-formed syllable per Han character of a spoken
// token), and the engine text has no empty segment.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine_text.h"
#include "front_end.h"
#include "han_reader.h"
#include "mandarin_data.h"
#include "normalize.h"
#include "speech_service.h"

namespace {

using namespace speech::mandarin;

bool syllables_ok(const std::string &r, std::size_t &count) {
    count = 0;
    std::size_t i = 0;
    while (i < r.size()) {
        std::size_t letters = 0;
        while (i < r.size() && r[i] >= 'a' && r[i] <= 'z') ++i, ++letters;
        if (letters == 0 || i >= r.size() || r[i] < '1' || r[i] > '5') return false;
        ++i;
        ++count;
        if (i < r.size() && (r[i] != ' ' || i + 1 == r.size())) return false;
        if (i < r.size()) ++i;
    }
    return count > 0;
}

void check_tokens(const Lexicon &lexicon, std::string_view text, NumberMode mode) {
    const std::vector<NormChar> chars = normalize(text, 0, nullptr);
    std::size_t c = 0;  // the next character not yet covered
    for (const Token &t : read_text(lexicon, text, mode)) {
        while (c < chars.size() && chars[c].begin < t.begin) {
            if (chars[c].cls != CharClass::separator) __builtin_trap();  // a character left out
            ++c;
        }
        if (c >= chars.size() || chars[c].begin != t.begin || t.end <= t.begin) __builtin_trap();
        std::size_t n = 0, han = 0;
        for (; c < chars.size() && chars[c].end <= t.end; ++c, ++n) {
            if (chars[c].cls == CharClass::separator) __builtin_trap();  // whitespace inside a token
            if (chars[c].cls == CharClass::han) ++han;
        }
        if (n == 0 || chars[c - 1].end != t.end) __builtin_trap();
        if (han != 0 && han != n) __builtin_trap();
        if (t.reading.empty()) continue;  // not spoken (a Han character the lexicon lacks)
        if (t.reading.compare(0, 3, "en:") == 0) {
            if (han != 0) __builtin_trap();
            continue;
        }
        std::size_t syllables = 0;
        if (!syllables_ok(t.reading, syllables)) __builtin_trap();
        if (han != 0 && syllables != han) __builtin_trap();
    }
    for (; c < chars.size(); ++c)
        if (chars[c].cls != CharClass::separator) __builtin_trap();
    for (const VoiceText &s : engine_text(lexicon, text, mode))
        if (s.text.empty() || s.voice.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const Lexicon *lexicon = speech::mandarin_lexicon();
    if (lexicon == nullptr) std::abort();  // the lexicon must be built beside the helper
    const char *text = reinterpret_cast<const char *>(data);
    const std::string_view view(text, size);
    for (int rdn = 0; rdn <= 2; ++rdn) check_tokens(*lexicon, view, static_cast<NumberMode>(rdn));

    char *table = nullptr;
    const int rc = speech_service_reading("rdn = 0", text, static_cast<unsigned>(size), &table);
    if ((rc == SPEECH_OK) != (table != nullptr)) __builtin_trap();
    if (rc != SPEECH_OK && rc != SPEECH_ERR_INVALID_TEXT) __builtin_trap();
    speech_service_free(table);
    return 0;
}
