// SPDX-License-Identifier: Apache-2.0
// An error answer of the HTTP API: its status and the JSON body
// {"error": {"message", "type", "param", "code"}}.
#ifndef TTS_SERVER_API_ERROR_H
#define TTS_SERVER_API_ERROR_H

#include <string>

#include <nlohmann/json.hpp>

namespace tts_server {

struct ApiError {
    unsigned status = 500;
    std::string message;
    std::string type;        // invalid_request_error, server_error, ...
    std::string param;       // the request field at fault, or empty
    nlohmann::json code;     // a service code (number), a word, or null
};

// 400 for a request field: the message starts with the field's name.
ApiError bad_field(const std::string &field, const std::string &why);
// The answer to a failed service call: 400 on the field at fault for every
// code that the request itself causes (its voice, rate, text, SSML or the
// audio it asks for, with the service's reason and, for the audio limit,
// `max_audio_seconds`), 504 for a hung helper, 500 otherwise.
ApiError service_failure(int code, const std::string &engine_error, unsigned max_audio_seconds = 0);

std::string error_body(const ApiError &error);

}  // namespace tts_server

#endif  // TTS_SERVER_API_ERROR_H
