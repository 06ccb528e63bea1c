// SPDX-License-Identifier: Apache-2.0
// Session handles: never handed out twice, whatever the number of sessions,
// readable as strings, and refused once ended. Small handle regions make
// many region changes cheap.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <cstring>
#include <memory>
#include <unordered_set>

#include "handle_space.h"
#include "sanitizer_build.h"
#include "session_registry.h"

namespace {

const std::size_t kPage = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
// More than any address space: half of all addresses.
const std::size_t kTooMuch = (~std::size_t{0} >> 1) + 1;

TEST(HandleSpace, HandlesAreUniqueAcrossRegionsAndReadAsEmptyStrings) {
    speech::HandleSpace space(kPage, kPage);
    std::unordered_set<const char *> seen;
    for (std::size_t i = 0; i < 5 * kPage + 3; ++i) {
        const char *h = space.next();
        ASSERT_NE(h, nullptr);
        ASSERT_TRUE(seen.insert(h).second) << "handle " << i << " was given before";
        if (i % 997 == 0) {
            EXPECT_EQ(std::strlen(h), 0u) << "a host may print a handle";
        }
    }
}

TEST(HandleSpace, FallsBackToSmallerRegionsAndFailsCleanlyWithoutAddressSpace) {
    if (sizeof(void *) < 8) GTEST_SKIP() << "half of a 32-bit address space may be free";
    speech::HandleSpace shrinking(kTooMuch, kPage);
    EXPECT_NE(shrinking.next(), nullptr) << "halved until it fits";
    speech::HandleSpace impossible(kTooMuch, kTooMuch);
    EXPECT_EQ(impossible.next(), nullptr);
}

// Under an address space limit with 1 GiB to spare, a fresh registry's
// handles leave most of that room to the work: in a child, since the limit
// cannot be raised again.
TEST(HandleSpace, AnAddressSpaceLimitStaysUsableForTheWork) {
    if (speech::kThreadSanitizer || speech::kMemorySanitizer)
        GTEST_SKIP() << "the sanitizers' shadow memory does not fit under an address space limit";
    if (sizeof(void *) < 8) GTEST_SKIP() << "a 32-bit address space has no GiB to spare";
    constexpr std::size_t kSpare = std::size_t{1} << 30;
    constexpr std::size_t kWork = kSpare / 4 * 3;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        unsigned long pages = 0;
        std::FILE *statm = std::fopen("/proc/self/statm", "re");
        if (statm == nullptr || std::fscanf(statm, "%lu", &pages) != 1) _exit(10);
        std::fclose(statm);
        const rlimit limit{pages * kPage + kSpare, pages * kPage + kSpare};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(11);
        speech::SessionRegistry registry;
        const auto session = std::make_shared<speech::Session>(speech::SessionConfig{});
        if (registry.add(session) == nullptr) _exit(12);
        void *work = mmap(nullptr, kWork, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (work == MAP_FAILED) _exit(13);
        for (int i = 0; i < 1000; ++i)
            if (registry.add(session) == nullptr) _exit(14);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 13) << "the handles took the room of the work";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

struct RegistryCase {
    const char *name;
    std::size_t region_bytes;
    int sessions;
};

TEST(SessionRegistry, AnEndedHandleNeverComesBackForALiveSession) {
    // The default space, past any count of recently ended handles kept back,
    // and one-page regions, through many region changes.
    for (const RegistryCase &c : {RegistryCase{"default regions", speech::HandleSpace::kDefaultRegionBytes, 20000},
                                  RegistryCase{"one-page regions", kPage, static_cast<int>(6 * kPage)}}) {
        SCOPED_TRACE(c.name);
        speech::SessionRegistry registry(c.region_bytes, kPage);
        const auto session = std::make_shared<speech::Session>(speech::SessionConfig{});
        std::unordered_set<const char *> ended;
        const char *kept = registry.add(session);  // one long-lived session among them
        for (int i = 0; i < c.sessions; ++i) {
            const char *h = registry.add(session);
            ASSERT_NE(h, nullptr);
            ASSERT_EQ(ended.count(h), 0u) << "session " << i << " got an ended handle";
            ASSERT_EQ(registry.find(h), session);
            ASSERT_EQ(registry.remove(h), session);
            ended.insert(h);
        }
        EXPECT_EQ(registry.size(), 1u) << "only live sessions are held";
        EXPECT_EQ(registry.find(kept), session);
        for (const char *h : {*ended.begin(), static_cast<const char *>(nullptr)}) {
            EXPECT_EQ(registry.find(h), nullptr);
            EXPECT_EQ(registry.remove(h), nullptr);
        }
    }
}

TEST(SessionRegistry, NoAddressSpaceMeansNoHandleNotAReusedOne) {
    if (sizeof(void *) < 8) GTEST_SKIP() << "half of a 32-bit address space may be free";
    speech::SessionRegistry registry(kTooMuch, kTooMuch);
    EXPECT_EQ(registry.add(std::make_shared<speech::Session>(speech::SessionConfig{})), nullptr);
    EXPECT_EQ(registry.size(), 0u);
}

}  // namespace
