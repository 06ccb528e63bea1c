// SPDX-License-Identifier: Apache-2.0
#include "reading_table.h"

#include "han_reader.h"

namespace speech::mandarin {

std::string_view readers_of(const Token &t) {
    switch (t.kind) {
        case TokenKind::han: return t.readers.empty() ? std::string_view("-") : std::string_view(t.readers);
        case TokenKind::pinyin: return "text";
        case TokenKind::number: return "number";
        default: return "-";
    }
}

std::string_view model_missing_line(const Lexicon &lexicon) {
    if (has_polyphone_model(lexicon)) return {};
    return "\tno polyphone model: polyphones read by the rules only\n";
}

void append_table_lines(std::string_view text, const std::vector<Token> &tokens, std::string &table, bool readers) {
    for (const Token &t : tokens) {
        table.append(text.substr(t.begin, t.end - t.begin));
        table += '\t';
        table += t.reading;
        if (readers) {
            table += '\t';
            table += readers_of(t);
        }
        table += '\n';
    }
}

std::string reading_table(const Lexicon &lexicon, std::string_view text, NumberMode mode) {
    std::string table;
    read_text(lexicon, text, mode, [&](const std::vector<Token> &tokens) { append_table_lines(text, tokens, table); });
    return table;
}

}  // namespace speech::mandarin
