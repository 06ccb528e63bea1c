// SPDX-License-Identifier: Apache-2.0
// A client of the service for the tests: one whole synthesis through the
// six calls, and counts of what the process holds, to prove nothing leaks.
#ifndef SPEECH_TESTS_SERVICE_CLIENT_H
#define SPEECH_TESTS_SERVICE_CLIENT_H

#include <string>

namespace service_test {

constexpr const char *kLogin = "appid = 7c2e94b0, work_dir = .";

struct Synthesis {
    int begin_code = -1;
    int put_code = -1;
    int fetch_code = -1;  // the code of the last fetch
    int end_code = -1;
    int fetches = 0;
    std::string audio;
};

// Begin, put `text`, fetch until the last block or a failure, end. Needs a
// login.
Synthesis synthesize(const std::string &params, const std::string &text);

// Open descriptors, threads, and whether any child process is left.
struct ProcessResources {
    int fds;
    int threads;
    bool children;
};
ProcessResources resources();
// Waits (up to 10 s) until the process holds `want`, as it does once the
// ready helper's idle time has run out; returns what it holds then.
ProcessResources resources_once_idle(const ProcessResources &want);
// What the process holds with no helper left: waits for any ready helper
// of earlier sessions to end first.
ProcessResources settled_resources();
bool operator==(const ProcessResources &a, const ProcessResources &b);

// Runs `body` with the engine helper replaced by `program` (and a short
// hang bound), restoring the environment afterwards.
template <typename F>
void with_engine(const std::string &program, F body);

void set_engine(const std::string &program, const std::string &timeout_ms);
void reset_engine();

template <typename F>
void with_engine(const std::string &program, F body) {
    set_engine(program, "400");
    body();
    reset_engine();
}

}  // namespace service_test

#endif  // SPEECH_TESTS_SERVICE_CLIENT_H
