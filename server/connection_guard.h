// SPDX-License-Identifier: Apache-2.0
// The limits on tts-server's connections, so that clients that open many
// connections and dribble their requests cannot lock others out:
// - a deadline for receiving each request, headers and body, counted from
//   the connection's opening or from the end of its previous answer (a
//   keep-alive connection waiting for its next request counts as waiting);
// - a limit on connections in all and, if set, on those of one client
//   address. A connection beyond a limit makes room by dropping the one that
//   has waited longest for its request (of that client, for the client's
//   limit); when none is waiting, the new one is refused.
// A connection is dropped or refused by shutting its socket down: its own
// thread then sees the end and closes it.
#ifndef TTS_SERVER_CONNECTION_GUARD_H
#define TTS_SERVER_CONNECTION_GUARD_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace tts_server {

class ConnectionGuard {
  public:
    struct Limits {
        unsigned connections = 256;
        unsigned per_client = 0;  // 0: none
        std::chrono::milliseconds request_deadline{30000};
    };
    struct Counts {
        std::uint64_t timed_out = 0;  // dropped at their deadline
        std::uint64_t evicted = 0;    // dropped to make room
        std::uint64_t refused = 0;    // refused for want of room
    };

    explicit ConnectionGuard(const Limits &limits);
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard &) = delete;
    ConnectionGuard &operator=(const ConnectionGuard &) = delete;

    // A connection opened on `fd` from `client`; the handle to pass below
    // (it is shut down at once when there is no room for it).
    void *opened(int fd, const std::string &client);
    // Its socket is about to be closed: the handle is gone.
    void closed(void *handle);
    // Its request has come whole, or was answered early: no deadline runs
    // while it is served.
    void received(void *handle);
    // Its answer is done: the deadline for the next request starts.
    void answered(void *handle);

    Counts counts() const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Record {
        int fd;
        std::string client;
        Clock::time_point since;
        bool waiting = true;   // for (more of) a request
        bool dropped = false;  // shut down, to be closed by its thread
    };

    // The oldest waiting record (of `client`, if not null) other than `not`.
    Record *oldest_waiting(const std::string *client, const Record *not_this);
    void drop(Record &r);
    void watch();

    const Limits limits_;
    mutable std::mutex mutex_;
    std::condition_variable stop_cv_;
    bool stop_ = false;
    std::list<Record> records_;
    Counts counts_;
    std::thread watcher_;
};

}  // namespace tts_server

#endif  // TTS_SERVER_CONNECTION_GUARD_H
