// SPDX-License-Identifier: Apache-2.0
// Client text made safe to log or echo: every control character, and every
// byte that is not part of valid UTF-8, becomes a visible escape.
#ifndef TTS_SERVER_PRINTABLE_H
#define TTS_SERVER_PRINTABLE_H

#include <string>
#include <string_view>

namespace tts_server {

// `text` with C0 controls, DEL, C1 controls and invalid UTF-8 bytes written
// as \xNN and backslashes doubled: one logged line stays one line, no
// terminal escape reaches a journal, and the result is valid UTF-8. With
// `quoted`, double quotes too, for a field that a log line quotes.
std::string printable(std::string_view text, bool quoted = false);

// The length of the valid UTF-8 sequence at the start of `s` (1 to 4), or 0.
std::size_t utf8_sequence(std::string_view s);

}  // namespace tts_server

#endif  // TTS_SERVER_PRINTABLE_H
