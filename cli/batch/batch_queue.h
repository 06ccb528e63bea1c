// SPDX-License-Identifier: Apache-2.0
// A bounded queue between the manifest's reader and the workers: the
// reader waits while it is full, so memory does not grow with the manifest.
#ifndef TTS_SAY_BATCH_QUEUE_H
#define TTS_SAY_BATCH_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace tts_say {

template <typename T>
class BoundedQueue {
  public:
    explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

    void push(T value) {
        std::unique_lock<std::mutex> lock(mutex_);
        not_full_.wait(lock, [this] { return items_.size() < capacity_; });
        items_.push_back(std::move(value));
        not_empty_.notify_one();
    }

    // No more items will come: pop returns empty once the queue is drained.
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        not_empty_.notify_all();
    }

    std::optional<T> pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        not_empty_.wait(lock, [this] { return !items_.empty() || closed_; });
        if (items_.empty()) return std::nullopt;
        T value = std::move(items_.front());
        items_.pop_front();
        not_full_.notify_one();
        return value;
    }

  private:
    std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable not_full_, not_empty_;
    std::deque<T> items_;
    bool closed_ = false;
};

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_QUEUE_H
