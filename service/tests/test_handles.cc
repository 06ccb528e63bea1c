// SPDX-License-Identifier: Apache-2.0
// Session handles: never handed out twice, whatever the number of sessions,
// readable as strings, and refused once ended. Small handle regions make
// many region changes cheap.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <unordered_set>

#include "handle_space.h"
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
