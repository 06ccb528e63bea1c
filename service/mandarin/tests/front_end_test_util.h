// SPDX-License-Identifier: Apache-2.0
// Compact views of the front end's output for table-driven tests.
#ifndef SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H
#define SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <string_view>

#include "front_end.h"
#include "han_reader.h"

namespace speech::mandarin {
// The stand-in lexicon of fake_han_reader.cc.
const Lexicon *test_lexicon();
}  // namespace speech::mandarin

namespace speech::mandarin::testing {

// A text with something of every kind.
inline const char kMixed[] =
    "我們去銀行，取了¥1,200.50元（约$170）。2023-05-06 12:30，气温-3~5℃，湿度65%。"
    "电话：13800138000；比分3:2，第2名，2/3的人。Hello, USA! ni3 hao3 👍🏽 ＡＢＣ１２３ 3.5%…… 100km/h\t5 kg";

// "TEXT:READING" of each token, joined by " / ".
inline std::string tokens_of(std::string_view text, int rdn) {
    std::string out;
    for (const Token &t : read_text(*test_lexicon(), text, static_cast<NumberMode>(rdn))) {
        if (!out.empty()) out += " / ";
        out.append(text.substr(t.begin, t.end - t.begin));
        out += ':';
        out += t.reading;
    }
    return out;
}

// The characters of well-formed UTF-8 (the test's own decoder).
inline std::u32string decode(const std::string &s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = n == 1 ? b : b & (0x7F >> n);
        for (int k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += c;
        i += n;
    }
    return out;
}

// Han characters as the tests' texts have them.
inline bool looks_han(char32_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x20000 && c <= 0x323AF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F) || c == 0x3007;
}

// The table's invariants: every line is TEXT, tab, READING; the texts joined
// are the text without its whitespace; a token is all Han or has no Han; a
// Mandarin reading is tone-numbered syllables, one per Han character.
inline void check_table(const std::string &text, const std::string &table) {
    std::string joined, without_space;
    for (char c : text)
        if (c != ' ' && c != '\n' && c != '\t' && c != '\r') without_space += c;
    static const std::regex line("([^\t\n]+)\t([^\t\n]*)");
    static const std::regex syllables("[a-z]+[1-5]( [a-z]+[1-5])*");
    std::size_t from = 0;
    while (from < table.size()) {
        const std::size_t nl = table.find('\n', from);
        ASSERT_NE(nl, std::string::npos);
        const std::string l = table.substr(from, nl - from);
        from = nl + 1;
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        const std::string token = m[1], reading = m[2];
        joined += token;
        if (reading.empty() || reading.rfind("en:", 0) == 0) continue;
        EXPECT_TRUE(std::regex_match(reading, syllables)) << l;
        const std::u32string chars = decode(token);
        bool han = false, other = false;
        for (char32_t c : chars) (looks_han(c) ? han : other) = true;
        EXPECT_FALSE(han && other) << l;
        if (han) {
            EXPECT_EQ(std::count(reading.begin(), reading.end(), ' ') + 1, static_cast<long>(chars.size())) << l;
        }
    }
    EXPECT_EQ(joined, without_space);
}

}  // namespace speech::mandarin::testing

#endif  // SPEECH_MANDARIN_TESTS_FRONT_END_TEST_UTIL_H
