// SPDX-License-Identifier: Apache-2.0
// SSML on any bytes: speech_service_reading answers with a table or one of
// its codes, a refusal always has a message with its line and column, and
// the engine's segments of a document that parses are never empty.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine_segments.h"
#include "session_config.h"
#include "session_text.h"
#include "speech_service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *text = reinterpret_cast<const char *>(data);
    char *table = nullptr;
    const int rc = speech_service_reading("text_type = ssml", text, static_cast<unsigned>(size), &table);
    if ((rc == SPEECH_OK) != (table != nullptr)) __builtin_trap();
    if (rc != SPEECH_OK && rc != SPEECH_ERR_INVALID_TEXT && rc != SPEECH_ERR_BAD_SSML) __builtin_trap();
    if (rc == SPEECH_ERR_BAD_SSML && std::string(speech_service_last_markup_message()).find(", column ") == std::string::npos)
        __builtin_trap();
    speech_service_free(table);
    if (rc != SPEECH_OK) return 0;

    speech::SessionConfig config;
    config.text_type = speech::TextType::ssml;
    speech::SessionText read;
    std::string message;
    if (speech::read_session_text(config, std::string_view(text, size), read, message) != SPEECH_OK || !read.document)
        __builtin_trap();
    std::vector<speech::EngineSegment> segments;
    if (speech::engine_segments(config, *read.document, segments) != SPEECH_OK) __builtin_trap();
    for (const speech::EngineSegment &s : segments)
        if (s.silence_ms == 0 && (s.voice.empty() || s.text.empty())) __builtin_trap();
    return 0;
}
