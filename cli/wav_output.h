// SPDX-License-Identifier: Apache-2.0
// Where the WAV goes. The library writes a temporary file and finishes its
// header by seeking back; only a complete WAV then reaches the output:
// a file by renaming the temporary file onto it, anything else (standard
// output, a descriptor named as /dev/stdout or /dev/fd/N, a FIFO, a
// device), and a file we may write in a folder we may not add to, by
// copying the whole WAV into it.
#ifndef TTS_SAY_WAV_OUTPUT_H
#define TTS_SAY_WAV_OUTPUT_H

#include <string>

#include "temp_file.h"

namespace tts_say {

// The descriptor that an output name stands for ("-", /dev/stdout,
// /dev/stderr, /dev/fd/N, /proc/self/fd/N), or -1 for a path.
int named_descriptor(const std::string &name);

class WavOutput {
  public:
    WavOutput() = default;
    ~WavOutput();
    WavOutput(const WavOutput &) = delete;
    WavOutput &operator=(const WavOutput &) = delete;

    // Checks the output named `name` (as given with -o) and makes the
    // temporary file; false with "cannot write NAME: <reason>". Nothing
    // that exists is changed. Opening a FIFO waits for its reader.
    bool open(const std::string &name, std::string &error);

    // The path the library is to write.
    const std::string &library_path() const { return temp_.path(); }
    // "standard output" or the name given.
    const std::string &where() const { return where_; }
    // True when the WAV goes to standard output, where the dialogue must not.
    bool on_standard_output() const { return on_stdout_; }

    // Puts the finished WAV in place; false with the reason. Until then,
    // and when this fails, the output is as it was.
    bool finish(std::string &error);

  private:
    bool open_file(std::string &error);
    bool open_stream(int fd, std::string &error);

    std::string where_;
    std::string target_;  // a file's path, links followed
    int stream_ = -1;     // else the descriptor the WAV is copied into
    bool overwrite_ = false;  // that descriptor is a file, emptied first
    bool on_stdout_ = false;
    TempFile temp_;
};

}  // namespace tts_say

#endif  // TTS_SAY_WAV_OUTPUT_H
