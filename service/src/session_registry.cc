// SPDX-License-Identifier: Apache-2.0
#include "session_registry.h"

namespace speech {

SessionRegistry::SessionRegistry(std::size_t region_bytes, std::size_t min_region_bytes)
    : handles_(region_bytes, min_region_bytes) {}

SessionRegistry &SessionRegistry::instance() {
    // Destroyed when the library is unloaded or the process exits, which
    // also stops the helpers of sessions that were never ended.
    static SessionRegistry registry;
    return registry;
}

const char *SessionRegistry::add(std::shared_ptr<Session> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    const char *handle = handles_.next();
    if (handle != nullptr) live_.emplace(handle, std::move(session));
    return handle;
}

std::shared_ptr<Session> SessionRegistry::find(const char *handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = live_.find(handle);
    return it == live_.end() ? nullptr : it->second;
}

std::shared_ptr<Session> SessionRegistry::remove(const char *handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = live_.find(handle);
    if (it == live_.end()) return nullptr;
    std::shared_ptr<Session> session = std::move(it->second);
    live_.erase(it);
    return session;
}

std::size_t SessionRegistry::size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_.size();
}

}  // namespace speech
