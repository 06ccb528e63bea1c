// SPDX-License-Identifier: Apache-2.0
// A scriptable stand-in for the speech service library: the test sets the
// codes and audio blocks the six calls return, and every call is recorded
// with its arguments. Linked with fake_pause.cc, pauses are recorded as well
// instead of waited for.
#ifndef TTS_TESTS_FAKE_SERVICE_H
#define TTS_TESTS_FAKE_SERVICE_H

#include <chrono>
#include <string>
#include <vector>

namespace fake {

struct Fetch {
    bool has_block = true;  // false: QTTSAudioGet returns null
    std::string bytes;      // the block; audio_len is its size
    int status = 1;         // synth_status written by the fetch
    int code = 0;           // code stored in the error out-parameter
};

struct Script {
    int login_code = 0;
    int session_begin_code = 0;  // stored through QTTSSessionBegin's out-parameter
    bool begin_returns_null = false;
    int text_put_code = 0;
    // Until this long after the session began, every fetch returns no block
    // with status 1 and code 0 (synthesis takes time); then `fetches` follow.
    std::chrono::milliseconds busy_for{0};
    std::vector<Fetch> fetches;  // one per QTTSAudioGet, in order
    int session_end_code = 0;
    int logout_code = 0;
};

// Installs `script` and clears the log.
void reset(Script script);

// The calls made since reset, one string each, such as
// "QTTSTextPut(session, \"hi\", 2, null)" or "usleep(150000)".
const std::vector<std::string> &calls();

// Adds `call` to the log (for stand-ins linked beside the fake).
void record_call(std::string call);

// Number of recorded calls whose text starts with `prefix`.
int count(const std::string &prefix);

// Shorthands for scripted fetches.
Fetch block(std::string bytes, int status = 1, int code = 0);
Fetch no_block(int status = 1, int code = 0);

}  // namespace fake

#endif  // TTS_TESTS_FAKE_SERVICE_H
