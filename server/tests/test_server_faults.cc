// SPDX-License-Identifier: Apache-2.0
// tts-server's HTTP side in this process, with allocations made to fail:
// a failing request gets its 500 and the server goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <variant>

#include "http_server.h"
#include "listen_socket.h"
#include "raw_http.h"

namespace {

// Allocations of more than this many bytes fail while it is not 0.
std::atomic<std::size_t> g_fail_above{0};
// The test's own thread, the client, is spared.
thread_local bool t_spared = false;

}  // namespace

void *operator new(std::size_t size) {
    const std::size_t limit = g_fail_above.load(std::memory_order_relaxed);
    if (limit != 0 && size > limit && !t_spared) throw std::bad_alloc();
    if (void *p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// The matching deletes, so that a sanitizer sees malloc paired with free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace tts_server;

TEST(ServerFaults, AFailedAllocationFailsOnlyItsRequest) {
    auto socket = listen_on("127.0.0.1:0");
    ASSERT_EQ(socket.index(), 0u) << std::get<std::string>(socket);
    const std::string address = std::get<ListenSocket>(socket).address();
    const int port = std::atoi(address.c_str() + address.rfind(':') + 1);
    ServerConfig config;
    config.max_text = 4 << 20;
    HttpServer server(config);
    ASSERT_EQ(server.start(std::get<ListenSocket>(socket).release()), "");

    // The body is gathered into one string: it outgrows the limit.
    const std::string body = "{\"input\":\"" + std::string(3 << 20, 'a') + "\"}";
    t_spared = true;
    g_fail_above = 1 << 20;
    const server_test::Response r = server_test::request(port, "POST", "/v1/audio/speech", body);
    g_fail_above = 0;
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("\"type\":\"server_error\""), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("bad_alloc"), std::string::npos) << r.body;
    EXPECT_EQ(server_test::request(port, "GET", "/healthz").status, 200);
}

}  // namespace
