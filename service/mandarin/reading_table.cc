// SPDX-License-Identifier: Apache-2.0
#include "reading_table.h"

namespace speech::mandarin {

void append_table_lines(std::string_view text, const std::vector<Token> &tokens, std::string &table) {
    for (const Token &t : tokens) {
        table.append(text.substr(t.begin, t.end - t.begin));
        table += '\t';
        table += t.reading;
        table += '\n';
    }
}

std::string reading_table(const Lexicon &lexicon, std::string_view text, NumberMode mode) {
    std::string table;
    read_text(lexicon, text, mode, [&](const std::vector<Token> &tokens) { append_table_lines(text, tokens, table); });
    return table;
}

}  // namespace speech::mandarin
