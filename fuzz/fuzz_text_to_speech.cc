// SPDX-License-Identifier: Apache-2.0
// text_to_speech against the scripted fake service, the script coming from
// the input: login code, session end code, then fetches of (length, status,
// code). The call must finish, and the file must agree with what was
// delivered.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_service.h"
#include "tts.h"

namespace {

constexpr std::size_t kMaxFetches = 64;

int small_code(std::uint8_t b) { return b < 200 ? 0 : b - 228; }  // mostly 0, sometimes -28..27

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const std::string path = "/tmp/fuzz_text_to_speech." + std::to_string(getpid()) + ".wav";
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;
    if (size < 2) return 0;
    fake::Script s;
    s.login_code = small_code(data[0]);
    s.session_end_code = small_code(data[1]);
    std::size_t delivered = 0;
    bool failed = false, ended = false;
    for (std::size_t i = 2; i + 3 < size && s.fetches.size() < kMaxFetches; i += 4) {
        const std::size_t len = static_cast<std::size_t>(data[i]) | (static_cast<std::size_t>(data[i + 1] & 0x3F) << 8);
        const int status = data[i + 2] % 3 + 1;
        const int code = small_code(data[i + 3]);
        const bool has_block = (data[i + 1] & 0x40) == 0;
        s.fetches.push_back(has_block ? fake::block(std::string(len, static_cast<char>(data[i])), status, code)
                                      : fake::no_block(status, code));
        if (!failed && !ended) {
            if (has_block) delivered += len;
            failed = code != 0;
            ended = status == 2;
        }
    }
    fake::reset(s);
    if (std::freopen("/dev/null", "r", stdin) == nullptr) std::abort();
    const int rc = text_to_speech("fuzz", path.c_str(), "p");
    if (fake::count("MSPLogout") != 1) __builtin_trap();
    if (s.login_code != 0) {
        if (rc != -1 || fake::count("QTTSSessionBegin") != 0) __builtin_trap();
        return 0;
    }
    if (fake::count("QTTSSessionEnd") != 1) __builtin_trap();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) __builtin_trap();
    // A script that runs out ends with the fake's end status.
    if (static_cast<std::size_t>(st.st_size) != 44 + delivered) __builtin_trap();
    return 0;
}
