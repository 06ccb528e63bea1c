// SPDX-License-Identifier: Apache-2.0
// The pronunciation lexicons a host registered, loaded from their files.
// A file is read once per process while it stays the same (same inode,
// size and modification time), so a session's begin costs a stat per file.
#ifndef SPEECH_LEXICONS_LEXICON_SET_H
#define SPEECH_LEXICONS_LEXICON_SET_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "user_lexicon.h"

namespace speech::lexicons {

class LexiconSet {
  public:
    // The longest entry of any lexicon at `pos`; of equal ones, that of the
    // lexicon registered last.
    bool longest_at(std::string_view text, std::size_t pos, Entry &out) const;
    bool may_start(unsigned char c) const;
    bool empty() const { return parts_.empty(); }
    // The lexicons' file names, as SSML's <lexicon uri> may name them.
    const std::vector<std::string> &names() const { return names_; }

    void add(std::shared_ptr<const UserLexicon> part, std::string name);

  private:
    std::vector<std::shared_ptr<const UserLexicon>> parts_;
    std::vector<std::string> names_;
};

// Loads `paths` in order; false with a message naming the file, line and
// column when one cannot be read or does not parse.
bool load_lexicons(const std::vector<std::string> &paths, std::shared_ptr<const LexiconSet> &out,
                   std::string &error);

}  // namespace speech::lexicons

#endif  // SPEECH_LEXICONS_LEXICON_SET_H
