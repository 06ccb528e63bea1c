// SPDX-License-Identifier: Apache-2.0
// The library's console during the call: its dialogue goes to standard
// output, standard error or a capture, and its closing key wait reads an
// empty standard input, so the caller's input is never waited for or eaten.
#ifndef TTS_SAY_CONSOLE_ROUTE_H
#define TTS_SAY_CONSOLE_ROUTE_H

#include <cstdio>
#include <string>

namespace tts_say {

// Puts /dev/null on standard input; false with the reason otherwise.
bool give_empty_stdin(std::string &error);

// Puts /dev/null on standard output and standard error where they are
// closed, so that no file opened later takes their numbers and receives
// the dialogue. To be called first.
void occupy_closed_standard_outputs();

// Whether `fd` (1 or 2) was closed before that.
bool standard_descriptor_was_closed(int fd);

enum class DialogueTo { kStdout, kStderr, kCapture };

class DialogueRoute {
  public:
    DialogueRoute() = default;
    ~DialogueRoute();
    DialogueRoute(const DialogueRoute &) = delete;
    DialogueRoute &operator=(const DialogueRoute &) = delete;

    // Sends what is printed on standard output from now on to `to`; on a
    // terminal unbuffered, so that the marks show as they come. Must come
    // before anything is printed on standard output.
    bool begin(DialogueTo to, std::string &error);

    // Flushes and gives standard output back; returns the captured text.
    std::string end();

  private:
    int saved_stdout_ = -1;
    std::FILE *capture_ = nullptr;
};

}  // namespace tts_say

#endif  // TTS_SAY_CONSOLE_ROUTE_H
