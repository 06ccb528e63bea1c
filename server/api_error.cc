// SPDX-License-Identifier: Apache-2.0
#include "api_error.h"

#include "speech_service.h"

namespace tts_server {

ApiError bad_field(const std::string &field, const std::string &why) {
    return {400, field + ": " + why, "invalid_request_error", field, "invalid_value"};
}

ApiError service_failure(int code, const std::string &engine_error) {
    std::string message = speech_service_error_text(code);
    if (!engine_error.empty()) message += " (" + engine_error + ")";
    switch (code) {
        case SPEECH_ERR_UNKNOWN_VOICE:
            return {400, "voice: " + message, "invalid_request_error", "voice", code};
        case SPEECH_ERR_INVALID_TEXT:
            return {400, "input: " + message, "invalid_request_error", "input", code};
        case SPEECH_ERR_ENGINE_TIMEOUT:
            return {504, message, "timeout_error", "", code};
        default:
            return {500, message, "server_error", "", code};
    }
}

std::string error_body(const ApiError &error) {
    nlohmann::json inner = {{"message", error.message},
                            {"type", error.type},
                            {"param", error.param.empty() ? nlohmann::json() : nlohmann::json(error.param)},
                            {"code", error.code}};
    return nlohmann::json{{"error", inner}}.dump() + "\n";
}

}  // namespace tts_server
