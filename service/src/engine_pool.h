// SPDX-License-Identifier: Apache-2.0
// Where sessions get their helpers. Every helper is started by one keeper
// thread of the service (the helper dies with the thread that started it,
// see tts_engine.cc), which lives while any helper it started does, or one
// waits ready. With the warm engine on, a helper whose session ended well
// comes back and waits for the next session, up to a few at once and for a
// bounded number of sessions each; when none waits, the keeper starts one
// ahead of need once a session's helper is done. An unused helper is ended
// after the idle time.
// A forked child never touches its parent's helpers: it starts afresh.
#ifndef SPEECH_ENGINE_POOL_H
#define SPEECH_ENGINE_POOL_H

#include <chrono>
#include <memory>
#include <string>

#include "engine_process.h"

namespace speech {

// The warm engine's settings, from the environment: SPEECH_SERVICE_WARM_ENGINE
// (0 turns it off), SPEECH_SERVICE_WARM_IDLE_MS (default 60000) and
// SPEECH_SERVICE_ENGINE_SESSIONS, the sessions a helper serves before it is
// replaced (default 200), which bounds what the engine may leak.
struct WarmSettings {
    bool enabled = true;
    std::chrono::milliseconds idle{60000};
    long long helper_sessions = 200;
};
WarmSettings warm_settings_from_env();

// Gives `out` a helper of `program` for one session: a waiting one when
// there is one, else one started now. 0 or an error code.
int take_engine(const std::string &program, bool inherit_stderr, std::unique_ptr<EngineProcess> &out);

// Takes a helper that has finished its session and is exiting (or has been
// reaped already): the keeper waits for it, and kills it if it has not
// exited within `bound`. The next ready helper is started then.
void retire_engine(std::unique_ptr<EngineProcess> engine, std::chrono::milliseconds bound);

// Takes a helper whose session ended well (its end frame said so, and it
// has written nothing since): it waits for the next session, or, when the
// warm engine is off, enough wait already or it has served its number of
// sessions, it is retired (its input closed, so that it exits).
void return_engine(std::unique_ptr<EngineProcess> engine, std::chrono::milliseconds bound);

}  // namespace speech

#endif  // SPEECH_ENGINE_POOL_H
