// SPDX-License-Identifier: Apache-2.0
// The live sessions, by handle. Handles are checked against this table, so
// a stale, freed or foreign handle is refused instead of followed.
#ifndef SPEECH_SESSION_REGISTRY_H
#define SPEECH_SESSION_REGISTRY_H

#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "session.h"

namespace speech {

class SessionRegistry {
  public:
    static SessionRegistry &instance();

    // Registers the session and returns its new handle.
    const char *add(std::shared_ptr<Session> session);
    // The live session of `handle`, or null.
    std::shared_ptr<Session> find(const char *handle);
    // Unregisters and returns the session of `handle`, or null.
    std::shared_ptr<Session> remove(const char *handle);

  private:
    struct Entry {
        std::unique_ptr<char[]> name;
        std::shared_ptr<Session> session;
    };
    // Ended handles keep their memory for a while, so that a new handle
    // cannot take the address of a recently ended one.
    static constexpr std::size_t kRetiredHandles = 4096;

    std::mutex mutex_;
    std::unordered_map<const char *, Entry> live_;
    std::deque<std::unique_ptr<char[]>> retired_;
    unsigned long long next_id_ = 1;
};

}  // namespace speech

#endif  // SPEECH_SESSION_REGISTRY_H
