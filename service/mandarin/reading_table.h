// SPDX-License-Identifier: Apache-2.0
// The reading table: one line per token, its text exactly as written, a
// tab, its reading, a line end. Asked for its readers, a line also has a
// tab and who decided the reading: for Han characters one word a syllable
// (Token::readers), "text" for pinyin the text gives (inline, a lexicon's
// or an SSML phoneme), "number" for a number, "-" for anything else.
#ifndef SPEECH_MANDARIN_READING_TABLE_H
#define SPEECH_MANDARIN_READING_TABLE_H

#include <string>
#include <string_view>
#include <vector>

#include "front_end.h"

namespace speech::mandarin {

// Appends the lines of `tokens` (tokens of `text`) to `table`.
void append_table_lines(std::string_view text, const std::vector<Token> &tokens, std::string &table,
                        bool readers = false);

// The readers' column of token `t`.
std::string_view readers_of(const Token &t);

// The line that opens a table with readers when the polyphone model is
// missing (empty when it is there): its polyphones are read by the rules.
std::string_view model_missing_line(const Lexicon &lexicon);

// The whole table of `text`.
std::string reading_table(const Lexicon &lexicon, std::string_view text, NumberMode mode);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_READING_TABLE_H
