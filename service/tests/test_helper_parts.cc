// SPDX-License-Identifier: Apache-2.0
// Parts of the synthesis helper on their own: the output pipeline, with and
// without its thread, and the page warmer across forked children.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "audio_pipeline.h"
#include "page_warmer.h"

namespace {

std::string g_written;
bool g_writer_fails = false;

bool collect(const void *data, std::size_t len) {
    if (g_writer_fails) return false;
    g_written.append(static_cast<const char *>(data), len);
    return true;
}

// Two seconds of a rising tone at the engine's rate, in its 200 ms chunks.
std::vector<std::vector<std::int16_t>> engine_chunks() {
    std::vector<std::vector<std::int16_t>> chunks;
    for (int c = 0; c < 10; ++c) {
        std::vector<std::int16_t> chunk(4410);
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            const double t = (c * 4410.0 + static_cast<double>(i)) / 22050.0;
            chunk[i] = static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * (200 + 400 * t) * t));
        }
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

// What the pipeline writes of those chunks; its error in `error`.
std::string pipeline_output(bool own_thread, bool begin, std::string &error) {
    g_written.clear();
    speech::AudioPipeline pipeline;
    pipeline.launch(collect, own_thread, own_thread);
    if (begin) {
        pipeline.begin(nullptr, 22050, 16000);
        for (const auto &chunk : engine_chunks())
            if (!pipeline.push(chunk.data(), chunk.size())) break;
    }
    error = pipeline.finish();
    return g_written;
}

TEST(AudioPipeline, ItsThreadWritesTheBytesThatResamplingInPlaceWrites) {
    std::string inline_error, thread_error;
    const std::string in_place = pipeline_output(false, true, inline_error);
    const std::string threaded = pipeline_output(true, true, thread_error);
    EXPECT_EQ(inline_error, "");
    EXPECT_EQ(thread_error, "");
    // Two seconds at 16 kHz, 16 bits, within the filter's delay.
    EXPECT_NEAR(static_cast<double>(in_place.size()), 64000.0, 400.0);
    EXPECT_TRUE(threaded == in_place);
}

TEST(AudioPipeline, WithoutAudioItWritesNothingAndEndsWell) {
    for (const bool own_thread : {false, true}) {
        std::string error = "unset";
        EXPECT_EQ(pipeline_output(own_thread, false, error), "") << own_thread;
        EXPECT_EQ(error, "") << own_thread;
    }
}

TEST(AudioPipeline, AFailedWriteIsReported) {
    for (const bool own_thread : {false, true}) {
        g_writer_fails = true;
        std::string error;
        pipeline_output(own_thread, true, error);
        g_writer_fails = false;
        EXPECT_EQ(error, "cannot write the output") << own_thread;
    }
}

// Runs `body` in a forked child and returns what it wrote to the pipe.
std::string in_child(const std::function<std::string()> &body) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string out = body();
        (void)!::write(fds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t r; (r = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(r));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return out;
}

long minor_faults() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

TEST(PageWarmer, AChildWritesBeforehandThePagesTheLastOneWrote) {
    constexpr std::size_t kPage = 4096, kPages = 64;
    // The memory is made and filled before the warmer reads the layout, as
    // the helper's is.
    std::vector<unsigned char> memory((kPages + 1) * kPage);
    auto pattern = [](std::size_t i) { return static_cast<unsigned char>((i * 7 + 3) & 0xfe); };
    for (std::size_t i = 0; i < memory.size(); ++i) memory[i] = pattern(i);
    auto *base = reinterpret_cast<volatile unsigned char *>((reinterpret_cast<std::uintptr_t>(memory.data()) + kPage - 1) &
                                                           ~std::uintptr_t(kPage - 1));
    speech::PageWarmer warmer;
    if (!warmer.prepare()) GTEST_SKIP() << "no page warming in this build or on this system";
    auto write_pages = [&](std::size_t first) {
        for (std::size_t p = first; p < kPages; p += 2) base[p * kPage] = base[p * kPage];
    };
    // The first child writes the even pages; the next one is warmed.
    in_child([&] {
        write_pages(0);
        warmer.note();
        return std::string();
    });
    const std::string report = in_child([&] {
        warmer.warm();
        bool same = true;
        for (std::size_t i = 0; i < memory.size(); ++i) same = same && memory[i] == pattern(i);
        const long before = minor_faults();
        write_pages(0);
        const long warmed = minor_faults() - before;
        write_pages(1);
        const long cold = minor_faults() - before - warmed;
        return std::to_string(same) + " " + std::to_string(warmed) + " " + std::to_string(cold);
    });
    int same = 0;
    long warmed = -1, cold = -1;
    ASSERT_EQ(std::sscanf(report.c_str(), "%d %ld %ld", &same, &warmed, &cold), 3) << report;
    EXPECT_EQ(same, 1) << "warming changed the memory";
    EXPECT_LT(warmed, static_cast<long>(kPages / 8)) << "the pages the last child wrote were not warmed";
    EXPECT_GE(cold, static_cast<long>(kPages / 4)) << "the control pages did not fault: nothing is measured";
}

}  // namespace
