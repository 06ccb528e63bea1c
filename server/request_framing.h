// SPDX-License-Identifier: Apache-2.0
// Whether a request's headers say unambiguously where its body ends
// (RFC 9112, section 6): a request that does not is refused before its body
// is read, and its connection closed, so that no two readers of the stream
// can disagree about where the next request starts.
#ifndef TTS_SERVER_REQUEST_FRAMING_H
#define TTS_SERVER_REQUEST_FRAMING_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api_error.h"

namespace tts_server {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// 400 for Content-Length values that differ or are not numbers, and for
// Content-Length with Transfer-Encoding; 501 for a transfer coding other
// than chunked alone.
std::optional<ApiError> framing_error(const HeaderList &headers);

}  // namespace tts_server

#endif  // TTS_SERVER_REQUEST_FRAMING_H
