// SPDX-License-Identifier: Apache-2.0
// sd_tts run as the server runs it: commands written to its standard input,
// replies and events read from its standard output.
#ifndef SD_TTS_TEST_MODULE_PROCESS_H
#define SD_TTS_TEST_MODULE_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace sd_tts::test {

// One event of a message as the server sees it.
struct Event {
    std::string code;  // "701", "700", "705", "702", "703", "704", "706"
    std::string name;  // the mark's or icon's name
    std::string pcm;   // 705: the samples, unescaped
    double at_ms = 0;  // when it was read, from the start of the wait
};

class ModuleProcess {
  public:
    // Starts `program` with `args` (the configuration file); the engine's
    // standard error is left to the test's.
    // `env`: NAME=VALUE settings added to its environment.
    explicit ModuleProcess(const std::vector<std::string> &args = {}, const std::vector<std::string> &env = {});
    ~ModuleProcess();
    ModuleProcess(const ModuleProcess &) = delete;
    ModuleProcess &operator=(const ModuleProcess &) = delete;

    void send(const std::string &text);
    void close_input();
    // The next line, without its line end; false at the end of the output or
    // after `timeout_ms`.
    bool line(std::string &out, int timeout_ms = 10000);
    // Lines up to and including the one that starts with `last`.
    std::vector<std::string> until(const std::string &last, int timeout_ms = 10000);
    // INIT and AUDIO as the server sends them first; true when both succeed.
    bool handshake();
    // The events of a message until its END, STOP or PAUSE.
    std::vector<Event> events(int timeout_ms = 60000);
    // Waits for the process to exit; its status, or -1 after `timeout_ms`.
    int wait_exit(int timeout_ms);
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// The samples of all the 705 events, and the names of the marks in order.
std::string audio_of(const std::vector<Event> &events);
std::vector<std::string> marks_of(const std::vector<Event> &events);
// The codes in order, with one "705" for each run of audio blocks.
std::string shape_of(const std::vector<Event> &events);
// The root mean square of 16-bit samples.
double rms(const std::string &pcm);

}  // namespace sd_tts::test

#endif  // SD_TTS_TEST_MODULE_PROCESS_H
