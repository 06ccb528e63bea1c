// SPDX-License-Identifier: Apache-2.0
// Workers and the bounded queue before them: a synthesis runs only while it
// holds a worker; while all are busy it waits in the queue, and when the
// queue is full it is refused at once.
#ifndef TTS_SERVER_ADMISSION_H
#define TTS_SERVER_ADMISSION_H

#include <condition_variable>
#include <memory>
#include <mutex>

namespace tts_server {

class Admission {
  public:
    Admission(unsigned workers, unsigned queue) : workers_(workers), queue_(queue) {}

    // A worker, released when the slot is destroyed.
    class Slot {
      public:
        explicit Slot(Admission &owner) : owner_(owner) {}
        ~Slot() { owner_.release(); }
        Slot(const Slot &) = delete;
        Slot &operator=(const Slot &) = delete;

      private:
        Admission &owner_;
    };

    // A worker, after waiting in the queue if need be; null when the queue
    // is full.
    std::unique_ptr<Slot> enter();

    unsigned busy() const;
    unsigned waiting() const;
    // No worker free and no room left in the queue.
    bool full() const;

  private:
    void release();

    const unsigned workers_;
    const unsigned queue_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    unsigned busy_ = 0;
    unsigned waiting_ = 0;
};

}  // namespace tts_server

#endif  // TTS_SERVER_ADMISSION_H
