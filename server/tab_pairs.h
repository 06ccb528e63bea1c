// SPDX-License-Identifier: Apache-2.0
// The service's lists of "FIRST<TAB>SECOND" lines (its voices, a reading
// table) as pairs, read in one place for every route and protocol.
#ifndef TTS_SERVER_TAB_PAIRS_H
#define TTS_SERVER_TAB_PAIRS_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tts_server {

// One pair a line; a line without a tab has "" second.
std::vector<std::pair<std::string, std::string>> tab_pairs(std::string_view lines);

}  // namespace tts_server

#endif  // TTS_SERVER_TAB_PAIRS_H
