// SPDX-License-Identifier: Apache-2.0
#include "request_framing.h"

#include <strings.h>

namespace tts_server {
namespace {

ApiError bad_framing(const std::string &why) { return {400, why, "invalid_request_error", "", "bad_framing"}; }

std::string trimmed(const std::string &s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::optional<ApiError> framing_error(const HeaderList &headers) {
    std::optional<std::string> length;
    std::string coding;
    bool has_coding = false;
    for (const auto &[name, value] : headers) {
        if (strcasecmp(name.c_str(), "Transfer-Encoding") == 0) {
            coding += (has_coding ? "," : "") + value;
            has_coding = true;
        } else if (strcasecmp(name.c_str(), "Content-Length") == 0) {
            // A list ("42, 42") or a repeated header must be one number.
            std::size_t from = 0;
            do {
                const std::size_t comma = value.find(',', from);
                const std::string item = trimmed(value.substr(from, comma == std::string::npos ? comma : comma - from));
                if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos)
                    return bad_framing("Content-Length is not a number");
                if (length && *length != item) return bad_framing("the request has two different Content-Length values");
                length = item;
                from = comma == std::string::npos ? comma : comma + 1;
            } while (from != std::string::npos);
        }
    }
    if (!has_coding) return std::nullopt;
    if (length) return bad_framing("the request has both Content-Length and Transfer-Encoding");
    if (strcasecmp(trimmed(coding).c_str(), "chunked") != 0)
        return ApiError{501, "only the chunked transfer coding is supported, not " + trimmed(coding), "invalid_request_error",
                        "", "unsupported_transfer_coding"};
    return std::nullopt;
}

}  // namespace tts_server
