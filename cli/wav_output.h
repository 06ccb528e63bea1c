// SPDX-License-Identifier: Apache-2.0
// Where the WAV goes: a file whose path is checked first, or standard
// output through a temporary file (the library seeks back to finish the
// header, which a pipe cannot do).
#ifndef TTS_SAY_WAV_OUTPUT_H
#define TTS_SAY_WAV_OUTPUT_H

#include <string>

namespace tts_say {

// Empty when `path` can be opened for writing, else "cannot write PATH:
// <the system's reason>". Nothing is changed: an existing file keeps its
// content, and a file made to try is removed again.
std::string output_path_problem(const std::string &path);

// A temporary WAV file whose finished bytes are then copied to a descriptor.
class TemporaryWav {
  public:
    TemporaryWav() = default;
    ~TemporaryWav();
    TemporaryWav(const TemporaryWav &) = delete;
    TemporaryWav &operator=(const TemporaryWav &) = delete;

    // Makes the file in $TMPDIR (or /tmp); false with the reason.
    bool create(std::string &error);
    const std::string &path() const { return path_; }

    // Copies the whole file to `fd`; false with the reason.
    bool copy_to(int fd, std::string &error) const;

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace tts_say

#endif  // TTS_SAY_WAV_OUTPUT_H
