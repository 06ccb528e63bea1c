// SPDX-License-Identifier: Apache-2.0
// One run of the engine helper program: spawned with its standard input
// and output on a socket of ours, killed and reaped when done.
#ifndef SPEECH_ENGINE_PROCESS_H
#define SPEECH_ENGINE_PROCESS_H

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "engine_protocol.h"

namespace speech {

// The helper program: $SPEECH_SERVICE_ENGINE, or tts-engine in the libexec
// folder beside the service library.
std::string engine_program_path();

class EngineProcess {
  public:
    EngineProcess() = default;
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Starts `program` with `args`; 0 or an error code.
    int spawn(const std::string &program, const std::vector<std::string> &args);

    // Our end of the helper's stdin/stdout socket (non-blocking).
    int socket() const { return sock_; }
    void close_socket();

    // Kills the helper's process group if it still runs.
    void kill();

    // Waits up to `bound` for the helper to exit, killing it after that.
    // Returns 0 for exit code 0, or the service error code that describes
    // how it ended. `exit_code` receives the exit code (or -1). Setting
    // `*abort` ends the wait early and kills the helper.
    int reap(std::chrono::milliseconds bound, int &exit_code, const std::atomic<bool> *abort = nullptr);

  private:
    pid_t pid_ = -1;
    int sock_ = -1;
};

}  // namespace speech

#endif  // SPEECH_ENGINE_PROCESS_H
