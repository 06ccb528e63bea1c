// SPDX-License-Identifier: Apache-2.0
// Copies, made while a child waits, of the pages its request will write.
//
// Each request's child is forked from the helper and shares its memory until
// it writes to it; every page it writes is then copied, a page fault each,
// during synthesis. Request after request the pages written are much the
// same: the engine's tables, buffers and heap. So each child notes, once its
// request has ended, which of the helper's writable pages it came to own,
// and the next child writes those pages (with their own values) while it
// waits for its request: the copies are made before the request arrives
// instead of during it, about 0.2 ms of a 5 ms sentence (bench/server.py).
// The note lives in memory shared by the helper and its children.
#ifndef SPEECH_ENGINE_PAGE_WARMER_H
#define SPEECH_ENGINE_PAGE_WARMER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace speech {

class PageWarmer {
  public:
    // In the helper, once it is set up: finds its writable private memory
    // and makes the shared note, for the children forked after it. False
    // (and the warmer does nothing) when that memory cannot be read.
    bool prepare();
    // In a child waiting for its request, with no other thread: writes each
    // page the last child owned, leaving every byte as it was.
    void warm() const;
    // In a child whose request has ended: notes the pages it owns.
    void note() const;

  private:
    struct Range {
        std::uintptr_t start;
        std::size_t pages;
        std::size_t first_bit;
    };
    std::vector<Range> ranges_;
    std::size_t bits_ = 0;
    std::uint64_t *owned_ = nullptr;  // one bit a page, shared
};

}  // namespace speech

#endif  // SPEECH_ENGINE_PAGE_WARMER_H
