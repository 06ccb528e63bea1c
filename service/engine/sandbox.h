// SPDX-License-Identifier: Apache-2.0
// The helper's sandbox. The engine library reads untrusted text and has
// been seen to corrupt its memory on some, so the helper gives up what it
// does not need before its first request: no new privileges, and a seccomp
// filter that allows reading files, its standard streams, memory, threads,
// the fork of each request's child and what the page warmer reads of
// /proc/self, and kills the process on anything else (sockets, exec, files
// opened for writing, ptrace, signals to other processes, ...). A child
// killed so ends the helper as any crash does.
#ifndef SPEECH_ENGINE_SANDBOX_H
#define SPEECH_ENGINE_SANDBOX_H

#include <string>

namespace speech {

// Whether the helper enters the sandbox: not in sanitizer builds, whose
// runtimes make calls of their own (their threads, symbolisers, shadow
// memory) that the filter would kill.
bool sandbox_wanted();

// Enters the sandbox for this process and every process and thread it
// makes from now on; the helper must have no other thread yet. Empty on
// success, else the reason (the helper then does not serve: it fails
// closed, also on an architecture the filter does not know).
std::string enter_sandbox();

}  // namespace speech

#endif  // SPEECH_ENGINE_SANDBOX_H
