// SPDX-License-Identifier: Apache-2.0
#include "page_warmer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "sanitizer_build.h"

namespace speech {
namespace {

constexpr std::size_t kPage = 4096;
// Larger mappings (none in a plain helper) are reserved rather than used.
constexpr std::size_t kMaxRangePages = (64u << 20) / kPage;
constexpr std::size_t kMaxPages = (256u << 20) / kPage;
// /proc/PID/pagemap: one 64-bit entry a page.
constexpr std::uint64_t kPresent = 1ull << 63;
constexpr std::uint64_t kFileOrShared = 1ull << 61;
constexpr std::uint64_t kExclusive = 1ull << 56;

// Sanitizers watch every access and keep memory of their own beside ours,
// which their threads may change: they go without.
constexpr bool kSanitized = kThreadSanitizer || kMemorySanitizer;

volatile unsigned char g_nothing = 0;

}  // namespace

bool PageWarmer::prepare() {
    if (kSanitized || kPage != static_cast<std::size_t>(::sysconf(_SC_PAGESIZE))) return false;
    // Room for every mapping first, so that the heap does not grow after
    // it has been read.
    ranges_.reserve(1024);
    std::FILE *maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr) return false;
    char line[512];
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3) continue;
        // Readable, writable and private: what a child copies when written.
        if (perms[0] != 'r' || perms[1] != 'w' || perms[3] != 'p') continue;
        const std::size_t pages = (end - start) / kPage;
        if (pages == 0 || pages > kMaxRangePages || bits_ + pages > kMaxPages || ranges_.size() == ranges_.capacity())
            continue;
        ranges_.push_back({start, pages, bits_});
        bits_ += pages;
    }
    std::fclose(maps);
    if (bits_ == 0) return false;
    const std::size_t bytes = (bits_ + 63) / 64 * sizeof(std::uint64_t);
    void *shared = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        ranges_.clear();
        bits_ = 0;
        return false;
    }
    owned_ = static_cast<std::uint64_t *>(shared);
    return true;
}

void PageWarmer::warm() const {
    if (owned_ == nullptr) return;
    // Zero, read where the compiler cannot see it: an atomic OR of a known
    // zero is compiled to a plain load, which would write nothing.
    const unsigned char nothing = g_nothing;
    for (const Range &r : ranges_) {
        for (std::size_t i = 0; i < r.pages; ++i) {
            const std::size_t bit = r.first_bit + i;
            if ((owned_[bit / 64] >> (bit % 64) & 1) == 0) continue;
            // One atomic write that adds nothing: the page is written and
            // keeps its bytes, even one the kernel itself updates (the
            // thread's restartable-sequence area) between two instructions.
            auto *byte = reinterpret_cast<unsigned char *>(r.start + i * kPage);
            __atomic_fetch_or(byte, nothing, __ATOMIC_RELAXED);
        }
    }
}

void PageWarmer::note() const {
    if (owned_ == nullptr) return;
    const int fd = ::open("/proc/self/pagemap", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    std::uint64_t entries[512];
    for (const Range &r : ranges_) {
        for (std::size_t done = 0; done < r.pages;) {
            const std::size_t n = std::min(r.pages - done, std::size(entries));
            const off_t at = static_cast<off_t>((r.start / kPage + done) * sizeof(std::uint64_t));
            const ssize_t got = ::pread(fd, entries, n * sizeof(std::uint64_t), at);
            const std::size_t read = got > 0 ? static_cast<std::size_t>(got) / sizeof(std::uint64_t) : 0;
            for (std::size_t i = 0; i < n; ++i) {
                const std::size_t bit = r.first_bit + done + i;
                // Present, ours alone, and anonymous: copied or made by this
                // child (a file page it only read may be ours alone too).
                const bool owned =
                    i < read && (entries[i] & (kPresent | kExclusive | kFileOrShared)) == (kPresent | kExclusive);
                const std::uint64_t mask = 1ull << (bit % 64);
                owned_[bit / 64] = owned ? owned_[bit / 64] | mask : owned_[bit / 64] & ~mask;
            }
            done += n;
        }
    }
    ::close(fd);
}

}  // namespace speech
