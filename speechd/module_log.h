// SPDX-License-Identifier: Apache-2.0
// The module's log on standard error, which the server keeps in its own
// log file; LOGLEVEL sets how much is written.
#ifndef SD_TTS_MODULE_LOG_H
#define SD_TTS_MODULE_LOG_H

#include <string_view>

namespace sd_tts {

void set_log_level(int level);
// Writes "sd_tts: <message>" when `level` is at most the log level
// (1 errors, 3 what happens, 5 everything).
void log_line(int level, std::string_view message);

}  // namespace sd_tts

#endif  // SD_TTS_MODULE_LOG_H
