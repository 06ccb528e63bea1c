// SPDX-License-Identifier: Apache-2.0
// A message split at its <mark> elements into documents of its own, so that
// each stretch between two marks is synthesised on its own and the mark is
// reported when the audio before it has been handed on.
#ifndef SD_TTS_SSML_MARKS_H
#define SD_TTS_SSML_MARKS_H

#include <string>
#include <string_view>
#include <vector>

namespace sd_tts {

struct MessagePart {
    // A complete SSML document (or plain text when the message was not
    // SSML); empty when the stretch has nothing to say.
    std::string document;
    bool is_ssml = true;
    // The name of the mark that follows this stretch; empty after the last.
    std::string mark_after;
    bool has_mark = false;
};

// Splits `message`. Each stretch keeps the elements it stands in: they are
// opened again, with their attributes as written, before it and closed after
// it. A message that is not well-formed XML comes back whole as one plain
// text part, with why in `warning`.
std::vector<MessagePart> split_at_marks(std::string_view message, std::string &warning);

// The character data of an SSML document (what CHAR and KEY carry when the
// server wraps them); `message` itself when it is not well-formed XML.
std::string ssml_text(std::string_view message);

}  // namespace sd_tts

#endif  // SD_TTS_SSML_MARKS_H
