// SPDX-License-Identifier: Apache-2.0
// What the service and its engine helper agree on: the first bytes of the
// helper's output and the meaning of its exit codes.
#ifndef SPEECH_ENGINE_PROTOCOL_H
#define SPEECH_ENGINE_PROTOCOL_H

#include <cstddef>

namespace speech {

// The first bytes the helper writes, before any audio: what it writes is
// only taken for audio when it starts with these.
inline constexpr char kEngineMagic[] = "TTSPCM1\n";
inline constexpr std::size_t kEngineMagicLen = sizeof kEngineMagic - 1;

// Exit codes of the helper.
enum EngineExit { kEngineOk = 0, kEngineUsage = 2, kEngineUnknownVoice = 3, kEngineInitFailed = 4,
                  kEngineSynthFailed = 5, kEngineOutputFailed = 6 };

}  // namespace speech

#endif  // SPEECH_ENGINE_PROTOCOL_H
