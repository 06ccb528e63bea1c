// SPDX-License-Identifier: Apache-2.0
// One run of the engine helper program: spawned with its standard input
// and output on a socket of ours and its standard error on a pipe of ours,
// killed and reaped when done. Only the process that spawned a helper ever
// signals or waits for it: in a forked child these calls do nothing.
#ifndef SPEECH_ENGINE_PROCESS_H
#define SPEECH_ENGINE_PROCESS_H

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <string>

#include "engine_protocol.h"

namespace speech {

// The helper program: $SPEECH_SERVICE_ENGINE, or tts-engine in the libexec
// folder beside the service library.
std::string engine_program_path();
// The helper installed with the service (beside which its data lies),
// whatever $SPEECH_SERVICE_ENGINE says.
std::string installed_engine_program_path();
// The folder of a file's path ("." for a bare name).
std::string folder_of(const std::string &path);

// How a helper ended.
struct EngineEnd {
    enum Kind { kExited, kSignaled, kUnknown, kTimedOut } kind = kUnknown;
    int exit_code = -1;  // for kExited
};

class EngineProcess {
  public:
    EngineProcess() = default;
    ~EngineProcess();
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;

    // Starts `program`; 0 or an error code. Its standard error goes to a
    // pipe of ours, or to ours when `inherit_stderr`.
    int spawn(const std::string &program, bool inherit_stderr);

    pid_t pid() const { return pid_; }
    const std::string &program() const { return program_; }
    // Our end of the helper's stdin/stdout socket (non-blocking).
    int socket() const { return sock_; }
    // Our end of the helper's stderr (non-blocking), or -1.
    int stderr_fd() const { return err_; }
    void close_socket();
    void close_stderr();
    // True while the helper runs and, once it has served a session, has
    // written nothing since: a helper that waits for its next request.
    bool fit_for_session() const;
    bool inherits_stderr() const { return inherit_stderr_; }

    // The sessions the helper has served to a good end; a helper that has
    // served one has written its magic line already.
    int sessions() const { return sessions_; }
    void count_session() { ++sessions_; }

    // Kills the helper's process group if it still runs.
    void kill();

    // Waits up to `bound` for the helper to exit, killing it after that
    // (kTimedOut). Setting `*abort` ends the wait early and kills the helper.
    EngineEnd reap(std::chrono::milliseconds bound, const std::atomic<bool> *abort = nullptr);
    // Reaps the helper if it has exited; true once it is reaped.
    bool reap_if_exited();

  private:
    bool ours() const;
    void close_pidfd();
    void wait_a_while(std::chrono::microseconds most, std::chrono::microseconds &pause);

    pid_t pid_ = -1;
    pid_t owner_ = -1;  // the process that spawned the helper
    int sock_ = -1;
    int err_ = -1;
    int pidfd_ = -1;  // the helper's process descriptor, to wait on
    int sessions_ = 0;
    bool inherit_stderr_ = false;
    std::string program_;
};

// Called once for every helper that has been reaped (by the helper pool).
void engine_process_reaped();

}  // namespace speech

#endif  // SPEECH_ENGINE_PROCESS_H
