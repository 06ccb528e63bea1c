// SPDX-License-Identifier: Apache-2.0
// Calls that the helper's sandbox forbids, made on request by the helper
// the tests build (SPEECH_ENGINE_TEST_CALLS) and never by the installed
// one: the tests show that such a call kills only the helper.
#ifndef SPEECH_ENGINE_TEST_CALLS_H
#define SPEECH_ENGINE_TEST_CALLS_H

namespace speech {

#ifdef SPEECH_ENGINE_TEST_CALLS
// Makes the call that SPEECH_ENGINE_TEST_CALL names ("socket", "exec",
// "write FILE", "read FILE", "ptrace", "i386" and "x32":
// calls through an x86-64 kernel's other entries), in the child that has just read
// its request; returns if the call was allowed or failed.
void make_test_call();
#else
inline void make_test_call() {}
#endif

}  // namespace speech

#endif  // SPEECH_ENGINE_TEST_CALLS_H
