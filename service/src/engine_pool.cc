// SPDX-License-Identifier: Apache-2.0
#include "engine_pool.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "engine_timeout.h"
#include "speech_service.h"

namespace speech {
namespace {

using Clock = std::chrono::steady_clock;
constexpr long kMaxIdleMs = 24L * 3600 * 1000;
constexpr long long kMaxHelperSessions = 1000000000;
// After the first session of a process, the next helper is started only
// this long after it: a process that speaks once and exits (a command)
// then starts no helper it will not use.
constexpr auto kFirstRefillDelay = std::chrono::milliseconds(50);

struct SpawnRequest {
    std::string program;
    bool inherit_stderr = false;
    int rc = SPEECH_ERR_SYSTEM;
    std::unique_ptr<EngineProcess> engine;
    bool done = false;
};

struct Dying {
    std::unique_ptr<EngineProcess> engine;
    Clock::time_point deadline;
};

struct Idle {
    std::unique_ptr<EngineProcess> engine;
    Clock::time_point deadline;
};

// Helpers kept waiting at most: as many as sessions can synthesise at once
// on the processors we may use (more would only wait for a processor),
// each holding an initialised engine (about 10 MiB). A host that speaks one
// session at a time keeps one.
std::size_t max_idle() {
    static const std::size_t n = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        const int cpus = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
        return static_cast<std::size_t>(std::max(cpus, 1));
    }();
    return n;
}

// The pool of one process. A forked child makes its own and leaves its
// parent's alone (never destroyed, since its threads do not exist there).
struct Pool {
    explicit Pool(pid_t pid) : owner(pid) {}

    const pid_t owner;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread keeper;
    bool keeper_running = false;
    bool stopping = false;
    std::deque<SpawnRequest *> requests;
    std::deque<Idle> idle;
    std::vector<Dying> dying;  // helpers done with their session, exiting
    // What the next ready helper runs; empty when none is wanted.
    std::string warm_program;
    bool warm_inherit = false;
    std::chrono::milliseconds warm_idle{60000};
    long long helper_sessions = 200;
    bool refill = false;           // start the next helper now
    bool refilling = false;        // the keeper is starting it
    Clock::time_point refill_due;  // or then, if set
    unsigned long long taken = 0;  // sessions that took a helper
    long live = 0;  // helpers started by the keeper and not yet reaped

    // When the keeper next looks whether dying helpers have exited.
    Clock::time_point next_look;
    Clock::duration pause{};

    void keep();
    void reap_dying(std::unique_lock<std::mutex> &lock);
    void ensure_keeper();
    void shut_down();
};

void end_helpers(std::vector<std::unique_ptr<EngineProcess>> &helpers) {
    for (auto &h : helpers) {
        h->kill();
        h->reap(std::chrono::milliseconds(0));
    }
    helpers.clear();
}

int spawn(const std::string &program, bool inherit_stderr, std::unique_ptr<EngineProcess> &out) {
    try {
        auto engine = std::make_unique<EngineProcess>();
        if (const int rc = engine->spawn(program, inherit_stderr)) return rc;
        out = std::move(engine);
        return SPEECH_OK;
    } catch (...) {
        return SPEECH_ERR_OUT_OF_MEMORY;
    }
}

// Reaps the helpers that have exited since the last look, kills those past
// their bound; returns when to look again (polling, briefly at first: a
// helper that has sent its end frame exits within milliseconds).
void Pool::reap_dying(std::unique_lock<std::mutex> &lock) {
    std::vector<Dying> look;
    look.swap(dying);
    lock.unlock();
    const auto now = Clock::now();
    std::vector<Dying> left;
    for (Dying &d : look) {
        if (d.engine->reap_if_exited()) continue;
        if (d.deadline <= now) {
            d.engine->kill();
            d.engine->reap(std::chrono::milliseconds(0));
            continue;
        }
        left.push_back(std::move(d));
    }
    look.clear();
    lock.lock();
    for (Dying &d : left) dying.push_back(std::move(d));
    pause = std::min<Clock::duration>(pause * 2, std::chrono::milliseconds(20));
    next_look = Clock::now() + pause;
}

// The keeper thread: starts helpers on request, starts one ahead of need
// when none waits, ends waiting ones after their idle time, reaps the
// helpers of finished sessions, and returns once nothing it started runs.
void Pool::keep() {
    std::unique_lock<std::mutex> lock(mutex);
    std::vector<std::unique_ptr<EngineProcess>> expired;
    for (;;) {
        if (!expired.empty()) {
            lock.unlock();
            end_helpers(expired);
            lock.lock();
            continue;
        }
        if (!requests.empty()) {
            SpawnRequest *req = requests.front();
            requests.pop_front();
            lock.unlock();
            std::unique_ptr<EngineProcess> engine;
            const int rc = spawn(req->program, req->inherit_stderr, engine);
            lock.lock();
            if (rc == SPEECH_OK) ++live;
            req->rc = rc;
            req->engine = std::move(engine);
            req->done = true;
            changed.notify_all();
            continue;
        }
        if (stopping) {
            for (Idle &i : idle) expired.push_back(std::move(i.engine));
            idle.clear();
            for (Dying &d : dying) expired.push_back(std::move(d.engine));
            dying.clear();
            if (!expired.empty()) continue;
            break;
        }
        if (refill && idle.empty() && !warm_program.empty()) {
            refill = false;
            refilling = true;
            const std::string program = warm_program;
            const bool inherit = warm_inherit;
            const auto idle_time = warm_idle;
            lock.unlock();
            std::unique_ptr<EngineProcess> engine;
            const int rc = spawn(program, inherit, engine);
            lock.lock();
            refilling = false;
            if (rc == SPEECH_OK) {
                ++live;
                idle.push_back({std::move(engine), Clock::now() + idle_time});
            }
            changed.notify_all();
            continue;
        }
        refill = false;
        if (refill_due != Clock::time_point() && Clock::now() >= refill_due) {
            refill_due = Clock::time_point();
            refill = true;
            continue;
        }
        if (!dying.empty() && Clock::now() >= next_look) {
            reap_dying(lock);
            continue;
        }
        const auto now = Clock::now();
        Clock::time_point wake = Clock::time_point::max();
        for (auto i = idle.begin(); i != idle.end();) {
            if (i->deadline <= now) {
                expired.push_back(std::move(i->engine));
                i = idle.erase(i);
            } else {
                wake = std::min(wake, i->deadline);
                ++i;
            }
        }
        if (!expired.empty()) continue;
        if (idle.empty() && live == 0 && refill_due == Clock::time_point()) break;  // nothing left to do
        if (!dying.empty()) wake = std::min(wake, next_look);
        if (refill_due != Clock::time_point()) wake = std::min(wake, refill_due);
        if (wake == Clock::time_point::max()) changed.wait(lock);
        else changed.wait_until(lock, wake);
    }
    // Nothing is left to end: whoever starts the next keeper joins us.
    keeper_running = false;
}

void Pool::ensure_keeper() {
    if (keeper_running) return;
    if (keeper.joinable()) keeper.join();  // it has returned already
    keeper = std::thread(&Pool::keep, this);
    keeper_running = true;
}

void Pool::shut_down() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    if (keeper.joinable()) keeper.join();
}

// The pool of the calling process, made on first use. Its holder is a
// static: when the service is unloaded or the process exits, it ends the
// keeper and the ready helper, and frees the pool unless a session still
// ends. Taking a helper first makes the pool before the session
// registry, so the registry, and the sessions in it, go first.
struct PoolHolder {
    std::atomic<Pool *> pool{new Pool(getpid())};
    ~PoolHolder() {
        Pool *p = pool.load();
        if (p->owner != getpid()) return;
        p->shut_down();
        std::unique_lock<std::mutex> lock(p->mutex);
        if (p->live > 0) return;  // a session still ends: it needs the pool
        lock.unlock();
        pool.store(nullptr);
        delete p;
    }
};

PoolHolder &holder() {
    static PoolHolder h;
    return h;
}

Pool &pool() {
    std::atomic<Pool *> &slot = holder().pool;
    Pool *p = slot.load();
    const pid_t self = getpid();
    if (p == nullptr || p->owner != self) {
        Pool *mine = new Pool(self);
        if (slot.compare_exchange_strong(p, mine)) return *mine;
        delete mine;
    }
    return *p;
}

}  // namespace

WarmSettings warm_settings_from_env() {
    WarmSettings w;
    const char *on = std::getenv("SPEECH_SERVICE_WARM_ENGINE");
    w.enabled = on == nullptr || std::string(on) != "0";
    w.idle = std::chrono::milliseconds(
        milliseconds_setting(std::getenv("SPEECH_SERVICE_WARM_IDLE_MS"), 0, kMaxIdleMs, w.idle.count()));
    if (w.idle.count() == 0) w.enabled = false;
    w.helper_sessions = milliseconds_setting(std::getenv("SPEECH_SERVICE_ENGINE_SESSIONS"), 1, kMaxHelperSessions,
                                             w.helper_sessions);
    return w;
}

int take_engine(const std::string &program, bool inherit_stderr, std::unique_ptr<EngineProcess> &out) {
    const WarmSettings warm = warm_settings_from_env();
    Pool &p = pool();
    std::vector<std::unique_ptr<EngineProcess>> unfit;
    SpawnRequest req;
    {
        std::unique_lock<std::mutex> lock(p.mutex);
        // A helper being started now is ready sooner than one started next.
        if (warm.enabled) p.changed.wait(lock, [&] { return !p.refilling; });
        // After the wait, which lets the keeper run and perhaps end.
        p.ensure_keeper();
        // The helper that waited least (the others may then reach their idle
        // time); one of another program, or one that has died or written
        // out of turn, is ended. With the warm engine off, all are.
        while (!p.idle.empty() && (!out || !warm.enabled)) {
            Idle i = std::move(p.idle.back());
            p.idle.pop_back();
            if (warm.enabled && i.engine->program() == program && i.engine->inherits_stderr() == inherit_stderr &&
                i.engine->fit_for_session())
                out = std::move(i.engine);
            else
                unfit.push_back(std::move(i.engine));
        }
        p.warm_program = warm.enabled ? program : std::string();
        p.warm_inherit = inherit_stderr;
        p.warm_idle = warm.idle;
        p.helper_sessions = warm.helper_sessions;
        // The next helper starts when this session's helper is done (see
        // retire_engine): started now, its start-up would compete with
        // this session's synthesis for the processor. One asked for by an
        // earlier session is not wanted when this session starts its own,
        // which comes back if its session ends well.
        p.refill_due = Clock::time_point();
        if (!out) p.refill = false;
        ++p.taken;
        if (!out) {
            req.program = program;
            req.inherit_stderr = inherit_stderr;
            p.requests.push_back(&req);
        }
        if (!out) {
            p.changed.notify_all();
            p.changed.wait(lock, [&] { return req.done; });
        }
    }
    if (out) p.changed.notify_all();
    end_helpers(unfit);
    if (out) return SPEECH_OK;
    out = std::move(req.engine);
    return req.rc;
}

void retire_engine(std::unique_ptr<EngineProcess> engine, std::chrono::milliseconds bound) {
    Pool &p = pool();
    try {
        std::lock_guard<std::mutex> lock(p.mutex);
        p.dying.reserve(p.dying.size() + 1);
        p.ensure_keeper();
        if (p.dying.empty()) {
            p.pause = std::chrono::microseconds(200);
            p.next_look = Clock::now() + p.pause;
        }
        p.dying.push_back({std::move(engine), Clock::now() + bound});
        if (p.taken == 1 && !p.warm_program.empty()) p.refill_due = Clock::now() + kFirstRefillDelay;
        else p.refill = !p.warm_program.empty();
    } catch (...) {
        // No memory or no thread: wait for it here.
        if (engine) engine->reap(bound);
        return;
    }
    p.changed.notify_all();
}

void return_engine(std::unique_ptr<EngineProcess> engine, std::chrono::milliseconds bound) {
    engine->count_session();
    Pool &p = pool();
    Idle waiting{nullptr, {}};
    try {
        std::lock_guard<std::mutex> lock(p.mutex);
        if (!p.stopping && !p.warm_program.empty() && engine->program() == p.warm_program &&
            engine->inherits_stderr() == p.warm_inherit && engine->sessions() < p.helper_sessions &&
            p.idle.size() < max_idle()) {
            waiting = {std::move(engine), Clock::now() + p.warm_idle};
            p.idle.push_back(std::move(waiting));  // on failure, `waiting` keeps it
        }
    } catch (...) {
        // No memory to keep it: it is retired.
    }
    if (!engine && !waiting.engine) {
        p.changed.notify_all();
        return;
    }
    if (!engine) engine = std::move(waiting.engine);
    engine->close_socket();
    engine->close_stderr();
    retire_engine(std::move(engine), bound);
}

void engine_process_reaped() {
    Pool &p = pool();
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        --p.live;
    }
    p.changed.notify_all();
}

}  // namespace speech
