// SPDX-License-Identifier: Apache-2.0
// The parts of a path that tts-say's output files are made beside.
#ifndef TTS_SAY_PATH_NAMES_H
#define TTS_SAY_PATH_NAMES_H

#include <string>

namespace tts_say {

// The folder of `path`: "." for a bare name, "/" for one at the root.
std::string folder_of(const std::string &path);
// The last part of `path`.
std::string base_of(const std::string &path);
// The name of a temporary file beside `target`, less its six unique
// characters: ".NAME." in its folder, NAME cut short so that the whole
// stays a valid file name.
std::string temp_name_prefix(const std::string &target);

}  // namespace tts_say

#endif  // TTS_SAY_PATH_NAMES_H
