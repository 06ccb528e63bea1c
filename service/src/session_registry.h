// SPDX-License-Identifier: Apache-2.0
// The live sessions, by handle. Handles are checked against this table, so
// a stale, freed or foreign handle is refused instead of followed, and no
// handle is ever given to two sessions.
#ifndef SPEECH_SESSION_REGISTRY_H
#define SPEECH_SESSION_REGISTRY_H

#include <memory>
#include <mutex>
#include <unordered_map>

#include "handle_space.h"
#include "session.h"

namespace speech {

class SessionRegistry {
  public:
    // Tests make registries of their own with small handle regions.
    explicit SessionRegistry(std::size_t region_bytes = HandleSpace::kDefaultRegionBytes,
                             std::size_t min_region_bytes = HandleSpace::kMinRegionBytes);
    static SessionRegistry &instance();

    // Registers the session and returns its new handle, or null when no
    // handle can be made.
    const char *add(std::shared_ptr<Session> session);
    // The live session of `handle`, or null.
    std::shared_ptr<Session> find(const char *handle);
    // Unregisters and returns the session of `handle`, or null.
    std::shared_ptr<Session> remove(const char *handle);
    // The number of live sessions.
    std::size_t size();

  private:
    std::mutex mutex_;
    HandleSpace handles_;
    std::unordered_map<const char *, std::shared_ptr<Session>> live_;
};

}  // namespace speech

#endif  // SPEECH_SESSION_REGISTRY_H
