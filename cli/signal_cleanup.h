// SPDX-License-Identifier: Apache-2.0
// A signal that ends tts-say while it makes a WAV removes the unfinished
// file first, then ends the process as the signal would have.
#ifndef TTS_SAY_SIGNAL_CLEANUP_H
#define TTS_SAY_SIGNAL_CLEANUP_H

#include <csignal>

namespace tts_say {

// Catches the signals that end a process (those not ignored at start):
// the handler removes the file named by remove_on_signal, restores the
// default action and raises the signal again, so the caller sees the
// status of a process killed by it.
void install_signal_cleanup();

// The one file a signal removes; null for none. The path is copied.
void remove_on_signal(const char *path);

// Holds those signals off while it lives, so that a file is never made
// without the handler knowing it.
class SignalsHeld {
  public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

  private:
    sigset_t saved_;
};

}  // namespace tts_say

#endif  // TTS_SAY_SIGNAL_CLEANUP_H
