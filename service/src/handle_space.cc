// SPDX-License-Identifier: Apache-2.0
#include "handle_space.h"

#include <sys/mman.h>

namespace speech {

HandleSpace::HandleSpace(std::size_t region_bytes, std::size_t min_region_bytes)
    : region_bytes_(region_bytes), min_region_bytes_(min_region_bytes) {}

HandleSpace::~HandleSpace() {
    for (const Region &r : regions_) ::munmap(r.base, r.bytes);
}

// Read-only, private and unreserved: no commit charge and no memory until a
// page is read, and then only the shared zero page.
bool HandleSpace::reserve() {
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
