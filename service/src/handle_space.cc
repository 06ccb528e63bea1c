// SPDX-License-Identifier: Apache-2.0
#include "handle_space.h"

#include <sys/mman.h>
#include <sys/resource.h>

#include <algorithm>

namespace speech {

HandleSpace::HandleSpace(std::size_t region_bytes, std::size_t min_region_bytes)
    : region_bytes_(region_bytes), min_region_bytes_(min_region_bytes) {}

HandleSpace::~HandleSpace() {
    for (const Region &r : regions_) ::munmap(r.base, r.bytes);
}

namespace {

// Under an address space limit (ulimit -v, a container's), the regions take
// at most this share of it: the rest is for the sessions' work. Without a
// limit, address space is plentiful and the regions keep their size.
constexpr std::size_t kLimitShare = 64;

std::size_t largest_power_of_two_at_most(std::size_t n) {
    std::size_t p = 1;
    while (p <= n / 2) p *= 2;
    return p;
}

}  // namespace

std::size_t HandleSpace::region_cap() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return ~std::size_t{0};
    return largest_power_of_two_at_most(std::max<std::size_t>(static_cast<std::size_t>(limit.rlim_cur) / kLimitShare, 1));
}

// Read-only, private and unreserved: no commit charge and no memory until a
// page is read, and then only the shared zero page.
bool HandleSpace::reserve() {
    // Read each time: a host may lower its limit after the first session.
    region_bytes_ = std::max(std::min(region_bytes_, region_cap()), min_region_bytes_);
    for (;;) {
        void *p = ::mmap(nullptr, region_bytes_, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p != MAP_FAILED) {
            // Nothing in it is worth a place in a core dump.
            (void)::madvise(p, region_bytes_, MADV_DONTDUMP);
            regions_.push_back(Region{static_cast<char *>(p), region_bytes_});
            next_ = static_cast<const char *>(p);
            end_ = next_ + region_bytes_;
            return true;
        }
        // An address space limit (ulimit -v, a memory checker): smaller regions.
        if (region_bytes_ / 2 < min_region_bytes_) return false;
        region_bytes_ /= 2;
    }
}

const char *HandleSpace::next() {
    if (next_ == end_) {
        try {
            regions_.reserve(regions_.size() + 1);
        } catch (...) {
            return nullptr;
        }
        if (!reserve()) return nullptr;
    }
    return next_++;
}

}  // namespace speech
