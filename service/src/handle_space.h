// SPDX-License-Identifier: Apache-2.0
// Session handles that are never handed out twice. Each handle is the next
// address of a reserved read-only region: it reads as an empty string,
// costs no memory, and no later handle can take it, however many sessions
// run. A used-up region stays reserved (so its addresses are never reused)
// and a fresh one is reserved beside it.
#ifndef SPEECH_HANDLE_SPACE_H
#define SPEECH_HANDLE_SPACE_H

#include <cstddef>
#include <vector>

namespace speech {

class HandleSpace {
  public:
    // Regions of `region_bytes` handles, or as many as the address space
    // allows, down to `min_region_bytes` (both multiples of the page size).
    // Under an address space limit (RLIMIT_AS) a region takes no more than
    // a small share of it (region_cap()), so that the limit stays usable.
    explicit HandleSpace(std::size_t region_bytes = kDefaultRegionBytes,
                         std::size_t min_region_bytes = kMinRegionBytes);
    ~HandleSpace();
    HandleSpace(const HandleSpace &) = delete;
    HandleSpace &operator=(const HandleSpace &) = delete;

    // A handle never returned before, or null when no address space is left.
    // Not thread-safe: the caller serialises.
    const char *next();

    // 64 GiB of addresses, 68 billion handles per region (256 MiB where
    // addresses have 32 bits).
    static constexpr std::size_t kDefaultRegionBytes = std::size_t{1} << (sizeof(void *) >= 8 ? 36 : 28);
    static constexpr std::size_t kMinRegionBytes = std::size_t{1} << 20;

    // The largest region an address space limit leaves room for: a power
    // of two no more than 1/64 of RLIMIT_AS; unbounded without a limit.
    static std::size_t region_cap();

  private:
    struct Region {
        char *base;
        std::size_t bytes;
    };
    bool reserve();

    std::size_t region_bytes_;
    const std::size_t min_region_bytes_;
    std::vector<Region> regions_;
    const char *next_ = nullptr;
    const char *end_ = nullptr;
};

}  // namespace speech

#endif  // SPEECH_HANDLE_SPACE_H
