// SPDX-License-Identifier: Apache-2.0
// The lexicon the build compiled, opened once for the tests.
#ifndef SPEECH_MANDARIN_TEST_LEXICON_H
#define SPEECH_MANDARIN_TEST_LEXICON_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "lexicon.h"

namespace speech::mandarin {

inline const Lexicon &test_lexicon() {
    static std::unique_ptr<Lexicon> lexicon = [] {
        std::string error;
        auto l = Lexicon::open(MANDARIN_TEST_LEXICON, error);
        if (!l) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        return l;
    }();
    return *lexicon;
}

}  // namespace speech::mandarin

#endif  // SPEECH_MANDARIN_TEST_LEXICON_H
