// SPDX-License-Identifier: Apache-2.0
// Lines from a file descriptor, each at most a given length: the rest of a
// longer line is read and dropped, so that no input makes the module grow
// without bound.
#ifndef SD_TTS_LINE_READER_H
#define SD_TTS_LINE_READER_H

#include <cstddef>
#include <string>

namespace sd_tts {

class LineReader {
  public:
    LineReader(int fd, std::size_t max_line) : fd_(fd), max_line_(max_line) {}
    // The next line without its '\n'; false at the end of the input (a last
    // line without a line end is still given).
    bool next(std::string &line);

  private:
    int fd_;
    std::size_t max_line_;
    std::string buffer_;
    std::size_t start_ = 0;
    bool eof_ = false;
};

}  // namespace sd_tts

#endif  // SD_TTS_LINE_READER_H
