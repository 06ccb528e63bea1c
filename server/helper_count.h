// SPDX-License-Identifier: Apache-2.0
// The engine helpers this process has started, counted among its children:
// the service does not say how many it keeps ready.
#ifndef TTS_SERVER_HELPER_COUNT_H
#define TTS_SERVER_HELPER_COUNT_H

#include <string>

namespace tts_server {

// Children named tts-engine of the process whose /proc folder is `proc`.
unsigned engine_helper_children(const std::string &proc = "/proc/self");

}  // namespace tts_server

#endif  // TTS_SERVER_HELPER_COUNT_H
