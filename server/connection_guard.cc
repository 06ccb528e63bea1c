// SPDX-License-Identifier: Apache-2.0
#include "connection_guard.h"

#include <sys/socket.h>

#include <algorithm>

namespace tts_server {
namespace {

// How often the deadlines are looked at: a dribbling client is dropped at
// most this late.
constexpr std::chrono::milliseconds kWatchInterval{200};

}  // namespace

ConnectionGuard::ConnectionGuard(const Limits &limits) : limits_(limits), watcher_([this] { watch(); }) {}

ConnectionGuard::~ConnectionGuard() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stop_cv_.notify_all();
    watcher_.join();
}

void *ConnectionGuard::opened(int fd, const std::string &client) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.push_back(Record{fd, client, Clock::now()});
    Record &r = records_.back();
    // Dropped connections still count until their threads close them, but
    // they are already on their way out: only live ones take room.
    unsigned live = 0;
    unsigned of_client = 0;
    for (const Record &o : records_) {
        if (o.dropped) continue;
        ++live;
        if (o.client == client) ++of_client;
    }
    const auto make_room = [&](const std::string *of) {
        if (Record *victim = oldest_waiting(of, &r)) {
            drop(*victim);
            ++counts_.evicted;
            return true;
        }
        drop(r);
        ++counts_.refused;
        return false;
    };
    if (limits_.per_client != 0 && of_client > limits_.per_client) {
        if (!make_room(&client)) return &r;
        --live;
    }
    if (live > limits_.connections) make_room(nullptr);
    return &r;
}

void ConnectionGuard::closed(void *handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.remove_if([handle](const Record &r) { return &r == handle; });
}

void ConnectionGuard::received(void *handle) {
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    static_cast<Record *>(handle)->waiting = false;
}

void ConnectionGuard::answered(void *handle) {
    if (handle == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto *r = static_cast<Record *>(handle);
    r->waiting = true;
    r->since = Clock::now();
}

ConnectionGuard::Counts ConnectionGuard::counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

ConnectionGuard::Record *ConnectionGuard::oldest_waiting(const std::string *client, const Record *not_this) {
    Record *oldest = nullptr;
    for (Record &o : records_)
        if (&o != not_this && o.waiting && !o.dropped && (client == nullptr || o.client == *client) &&
            (oldest == nullptr || o.since < oldest->since))
            oldest = &o;
    return oldest;
}

// Called with the lock held, so that the record (and its descriptor, closed
// only after closed()) is still there.
void ConnectionGuard::drop(Record &r) {
    r.dropped = true;
    ::shutdown(r.fd, SHUT_RDWR);
}

void ConnectionGuard::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_cv_.wait_for(lock, kWatchInterval, [this] { return stop_; })) {
        const auto late = Clock::now() - limits_.request_deadline;
        for (Record &r : records_)
            if (r.waiting && !r.dropped && r.since < late) {
                drop(r);
                ++counts_.timed_out;
            }
    }
}

}  // namespace tts_server
