// SPDX-License-Identifier: Apache-2.0
// The reading table: one line per token, its text exactly as written, a
// tab, its reading, a line end.
#ifndef SPEECH_MANDARIN_READING_TABLE_H
#define SPEECH_MANDARIN_READING_TABLE_H

#include <string>
#include <string_view>
#include <vector>

#include "front_end.h"

namespace speech::mandarin {

// Appends the lines of `tokens` (tokens of `text`) to `table`.
void append_table_lines(std::string_view text, const std::vector<Token> &tokens, std::string &table);

// The whole table of `text`.
std::string reading_table(const Lexicon &lexicon, std::string_view text, NumberMode mode);

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_READING_TABLE_H
