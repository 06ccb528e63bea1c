// SPDX-License-Identifier: Apache-2.0
#include "session_registry.h"

#include <cstdio>

namespace speech {

SessionRegistry &SessionRegistry::instance() {
    // Destroyed when the library is unloaded or the process exits, which
    // also stops the helpers of sessions that were never ended.
    static SessionRegistry registry;
    return registry;
}

const char *SessionRegistry::add(std::shared_ptr<Session> session) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto name = std::make_unique<char[]>(32);
    std::snprintf(name.get(), 32, "tts-session-%llu", next_id_++);
    const char *handle = name.get();
    live_.emplace(handle, Entry{std::move(name), std::move(session)});
    return handle;
}

std::shared_ptr<Session> SessionRegistry::find(const char *handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = live_.find(handle);
    return it == live_.end() ? nullptr : it->second.session;
}

std::shared_ptr<Session> SessionRegistry::remove(const char *handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = live_.find(handle);
    if (it == live_.end()) return nullptr;
    std::shared_ptr<Session> session = std::move(it->second.session);
    retired_.push_back(std::move(it->second.name));
    if (retired_.size() > kRetiredHandles) retired_.pop_front();
    live_.erase(it);
    return session;
}

}  // namespace speech
