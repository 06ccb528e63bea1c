// SPDX-License-Identifier: Apache-2.0
// What the service and its engine helper agree on (protocol version 3).
//
// The helper starts, loads the engine and its default voice, prepares its
// resampler and writes the magic line on its standard output, once; then it
// reads requests on its standard input, one after another:
//
//   TTSREQ3\n
//   rate N\n volume N\n pitch N\n sample_rate N\n   (engine values)
//   text VOICE NBYTES\n<NBYTES bytes of UTF-8>       (zero or more segments,
//   text VOICE NBYTES RATE VOLUME PITCH ENDPAUSE\n<NBYTES bytes>   each text
//   silence MS\n                                               or silence)
//   end\n
//
// A text segment with engine values of its own is spoken with them (and
// without the engine's closing pause when ENDPAUSE is 0); a silence is that
// many milliseconds (at most 60000) of zero samples.
//
// and answers with frames, each a kind byte, a 4-byte little-endian payload
// length and the payload: audio frames (16-bit little-endian mono PCM at
// sample_rate) and, last, one end frame whose payload is the helper's own
// result (4-byte little-endian: 0 or one of the exit codes below) followed
// by a short message. Output that ends without the end frame is a failure,
// whatever the helper's exit status says. After an end frame that says 0 the
// helper writes nothing more until it has read the next request, which it
// serves as a freshly started helper would; the end of its input before a
// request ends it (exit 0). After any other end frame it exits.
#ifndef SPEECH_ENGINE_PROTOCOL_H
#define SPEECH_ENGINE_PROTOCOL_H

#include <cstddef>
#include <cstdint>

namespace speech {

// The first bytes the helper writes, once it is ready for the request.
inline constexpr char kEngineMagic[] = "TTSPCM3\n";
inline constexpr std::size_t kEngineMagicLen = sizeof kEngineMagic - 1;

// The first line of a request, and the line that ends it.
inline constexpr char kRequestMagic[] = "TTSREQ3";
inline constexpr char kRequestEnd[] = "end";

// Output frames.
inline constexpr char kFrameAudio = 'a';
inline constexpr char kFrameEnd = 'e';
inline constexpr std::size_t kFrameHeaderLen = 5;
inline constexpr std::uint32_t kMaxAudioFrame = 1u << 20;
inline constexpr std::uint32_t kMaxEndMessage = 1024;

// The helper's results (its end frame and its exit code).
enum EngineExit { kEngineOk = 0, kEngineUsage = 2, kEngineUnknownVoice = 3, kEngineInitFailed = 4,
                  kEngineSynthFailed = 5, kEngineOutputFailed = 6, kEngineBadRequest = 7 };

// The option that gives the helper the process id of the service that
// started it: the helper ends itself when that process is gone.
inline constexpr char kParentOption[] = "--parent";

}  // namespace speech

#endif  // SPEECH_ENGINE_PROTOCOL_H
