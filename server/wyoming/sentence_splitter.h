// SPDX-License-Identifier: Apache-2.0
// Cuts text that arrives in pieces (cut anywhere, even inside a UTF-8
// character) into complete sentences, each given out as soon as what
// follows it shows that it has ended.
#ifndef TTS_SERVER_WYOMING_SENTENCE_SPLITTER_H
#define TTS_SERVER_WYOMING_SENTENCE_SPLITTER_H

#include <string>
#include <vector>

namespace tts_server::wyoming {

class SentenceSplitter {
  public:
    // Adds a piece; the sentences it completed, in order.
    std::vector<std::string> add(const std::string &piece);
    // The rest, once no more text will come ("" if nothing is left).
    std::string finish();
    // Bytes taken so far.
    std::size_t total() const { return total_; }

  private:
    std::string pending_;
    std::size_t total_ = 0;
};

// Whether a sentence has anything to speak (not only spaces and ASCII
// punctuation).
bool speakable(const std::string &sentence);

}  // namespace tts_server::wyoming

#endif  // TTS_SERVER_WYOMING_SENTENCE_SPLITTER_H
