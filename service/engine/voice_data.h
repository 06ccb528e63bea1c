// SPDX-License-Identifier: Apache-2.0
// Where the helper's engine finds its data.
//
// Asked for a voice, the engine first reads every voice file it has (a few
// milliseconds, more than the synthesis of a sentence) unless the voice's
// file is named exactly as asked, in lower case, which the Mandarin voice's
// is not. The build leaves beside the helper a small data folder
// (`mandarin-voice`) that links the engine's phoneme data and Mandarin
// dictionary and holds the voice under its lower-case name, so the helper
// starts from it. Any other voice needs the engine's own folder: the first
// switch goes back to it, and the voice list is read then.
#ifndef SPEECH_ENGINE_VOICE_DATA_H
#define SPEECH_ENGINE_VOICE_DATA_H

#include <string>

namespace speech {

// The name of that folder beside the helper, and the voice it holds.
inline constexpr char kQuickVoiceFolder[] = "mandarin-voice";
inline constexpr char kQuickVoice[] = "cmn-latn-pinyin";

// The folder to start the engine from: the one beside the helper when the
// engine would otherwise use its built-in place (no ESPEAK_DATA_PATH, no
// espeak-ng-data in the home folder) and the folder holds the voice; empty
// for the engine's own choice.
std::string quick_voice_data_dir();

}  // namespace speech

#endif  // SPEECH_ENGINE_VOICE_DATA_H
