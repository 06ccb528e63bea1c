// SPDX-License-Identifier: Apache-2.0
// Pronunciation lexicons (PLS 1.0 with alphabet="x-pinyin"): lexemes with
// one or more graphemes and a phoneme (tone-numbered pinyin) or an alias.
#ifndef SPEECH_LEXICONS_PLS_READER_H
#define SPEECH_LEXICONS_PLS_READER_H

#include <string>
#include <string_view>

#include "safe_xml.h"

namespace speech::lexicons {

class UserLexicon;

// Adds the entries of the lexicon document `text` to `out` (later entries
// of the same grapheme replace earlier ones); false with `error` when it
// is not well-formed, not an x-pinyin lexicon, or a lexeme is incomplete
// or has pinyin that is not.
bool read_pls(std::string_view text, UserLexicon &out, xml::Error &error);
// The same, read piece by piece.
bool read_pls(const xml::ReadPiece &read, UserLexicon &out, xml::Error &error);

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_PLS_READER_H
