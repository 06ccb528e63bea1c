// SPDX-License-Identifier: Apache-2.0
#include "api_error.h"

#include "shown_text.h"
#include "speech_service.h"

namespace tts_server {

ApiError bad_field(const std::string &field, const std::string &why) {
    return {400, field + ": " + why, "invalid_request_error", field, "invalid_value"};
}

ApiError service_failure(int code, const std::string &engine_error, unsigned max_audio_seconds) {
    std::string message = speech_service_error_text(code);
    // The service's reason for a refused document or lexicon (with its line
    // and column), else the engine's own account.
    const std::string markup = speech_service_last_markup_message();
    const std::string &reason = (code == SPEECH_ERR_BAD_SSML || code == SPEECH_ERR_BAD_LEXICON) && !markup.empty() ? markup : engine_error;
    if (code == SPEECH_ERR_AUDIO_TOO_LONG && max_audio_seconds != 0)
        message += " (" + std::to_string(max_audio_seconds) + " s on this server)";
    if (!reason.empty()) message += ": " + reason;
    const auto client = [&](const char *field) { return ApiError{400, std::string(field) + ": " + message, "invalid_request_error", field, code}; };
    switch (code) {
        case SPEECH_ERR_UNKNOWN_VOICE:
            return client("voice");
        case SPEECH_ERR_BAD_SAMPLE_RATE:
            return client("sample_rate");
        case SPEECH_ERR_INVALID_TEXT:
        case SPEECH_ERR_NO_TEXT:
        case SPEECH_ERR_BAD_SSML:
        case SPEECH_ERR_AUDIO_TOO_LONG:
            return client("input");
        case SPEECH_ERR_ENGINE_TIMEOUT:
            return {504, message, "timeout_error", "", code};
        default:
            // Among them a lexicon that does not load: the host's, which no
            // request names.
            return {500, message, "server_error", "", code};
    }
}

std::string error_body(const ApiError &error) {
    nlohmann::json inner = {{"message", tts_text::printable(error.message)},
                            {"type", error.type},
                            {"param", error.param.empty() ? nlohmann::json() : nlohmann::json(error.param)},
                            {"code", error.code}};
    return nlohmann::json{{"error", inner}}.dump() + "\n";
}

}  // namespace tts_server
