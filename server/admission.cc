// SPDX-License-Identifier: Apache-2.0
#include "admission.h"

namespace tts_server {

std::unique_ptr<Admission::Slot> Admission::enter() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (busy_ >= workers_) {
        if (waiting_ >= queue_) return nullptr;
        ++waiting_;
        freed_.wait(lock, [this] { return busy_ < workers_; });
        --waiting_;
    }
    ++busy_;
    return std::make_unique<Slot>(*this);
}

void Admission::release() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --busy_;
    }
    freed_.notify_one();
}

unsigned Admission::busy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_;
}

unsigned Admission::waiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
}

bool Admission::full() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_ >= workers_ && waiting_ >= queue_;
}

}  // namespace tts_server
