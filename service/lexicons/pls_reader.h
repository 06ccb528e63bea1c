// SPDX-License-Identifier: Apache-2.0
// Pronunciation lexicons (PLS 1.0 with alphabet="x-pinyin"): lexemes with
// one or more graphemes and a phoneme (tone-numbered pinyin) or an alias.
#ifndef SPEECH_LEXICONS_PLS_READER_H
#define SPEECH_LEXICONS_PLS_READER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "safe_xml.h"

namespace speech::lexicons {

class UserLexicon;

// Documents from this size on are read in two halves at once.
inline constexpr std::size_t kReadInHalvesFrom = std::size_t{1} << 20;

// Adds the entries of the lexicon document `text` to `out`, which is
// empty (later entries of the same grapheme replace earlier ones); false
// with `error` when it is not well-formed, not an x-pinyin lexicon, or a
// lexeme is incomplete or has pinyin that is not. A large document is read
// in two halves at once, on two threads.
bool read_pls(std::string_view text, UserLexicon &out, xml::Error &error);
// Reads up to `capacity` bytes of a document from `offset` into `buffer`:
// how many, 0 at its end, or -1 with a message.
using ReadAt = std::function<long(std::uint64_t offset, char *buffer, std::size_t capacity, std::string &message)>;
// The same for a document of `size` bytes read through `read_at`, which
// may be called from two threads at once; never held whole in memory.
bool read_pls(const ReadAt &read_at, std::uint64_t size, UserLexicon &out, xml::Error &error);

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_PLS_READER_H
