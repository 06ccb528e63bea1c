// SPDX-License-Identifier: Apache-2.0
// Where sessions get their helpers. Every helper is started by one keeper
// thread of the service (the helper dies with the thread that started it,
// see tts_engine.cc), which lives while any helper it started does, or one
// waits ready. With the warm engine on, the keeper keeps one helper started
// and initialised ahead of need: a session takes it, and the next one is
// started in the background once that session's helper is done; an unused
// one is ended after the idle time.
// A forked child never touches its parent's helpers: it starts afresh.
#ifndef SPEECH_ENGINE_POOL_H
#define SPEECH_ENGINE_POOL_H

#include <chrono>
#include <memory>
#include <string>

#include "engine_process.h"

namespace speech {

// The warm engine's settings, from the environment: SPEECH_SERVICE_WARM_ENGINE
// (0 turns it off) and SPEECH_SERVICE_WARM_IDLE_MS (default 60000).
struct WarmSettings {
    bool enabled = true;
    std::chrono::milliseconds idle{60000};
};
WarmSettings warm_settings_from_env();

// Gives `out` a helper of `program` for one session: the ready one when
// there is one, else one started now. 0 or an error code.
int take_engine(const std::string &program, bool inherit_stderr, std::unique_ptr<EngineProcess> &out);

// Takes a helper that has finished its session and is exiting (or has been
// reaped already): the keeper waits for it, and kills it if it has not
// exited within `bound`. The next ready helper is started then.
void retire_engine(std::unique_ptr<EngineProcess> engine, std::chrono::milliseconds bound);

}  // namespace speech

#endif  // SPEECH_ENGINE_POOL_H
