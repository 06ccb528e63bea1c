// SPDX-License-Identifier: Apache-2.0
// tts-server as a child process for the tests, and what it holds.
#ifndef TTS_SERVER_TESTS_SERVER_PROCESS_H
#define TTS_SERVER_TESTS_SERVER_PROCESS_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace server_test {

class ServerProcess {
  public:
    // What a test may change about the process beyond its arguments.
    struct Setup {
        std::vector<std::string> env;  // NAME=VALUE
        std::string log;               // file for its standard error after the first line ("": the test's)
        unsigned max_files = 0;        // RLIMIT_NOFILE (0: inherited)
    };

    // Starts tts-server on a free loopback port with `args` and the
    // environment changes `env` (NAME=VALUE), and waits for its line.
    explicit ServerProcess(std::vector<std::string> args = {}, std::vector<std::string> env = {});
    ServerProcess(std::vector<std::string> args, Setup setup);
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    int port() const { return port_; }
    // The Wyoming port, when `args` has --wyoming (its line follows).
    int wyoming_port() const { return wyoming_port_; }
    const std::string &wyoming_line() const { return wyoming_line_; }
    pid_t pid() const { return pid_; }
    const std::string &first_line() const { return line_; }
    // Sends `signal` and waits up to `seconds` for the exit; the wait
    // status, or -1 if it did not exit.
    int stop(int signal, int seconds = 30);

    unsigned helpers() const;  // tts-engine children
    unsigned descriptors() const;
    double cpu_seconds() const;  // user and system time so far

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string line_;
    int wyoming_port_ = 0;
    std::string wyoming_line_;
};

// What the shell command writes on its standard output.
std::string run(const std::string &command);

// Polls `pred` every 20 ms up to `ms`; whether it held.
template <typename F>
bool eventually(F pred, int ms);

}  // namespace server_test

#include <chrono>
#include <thread>

template <typename F>
bool server_test::eventually(F pred, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

#endif  // TTS_SERVER_TESTS_SERVER_PROCESS_H
