// SPDX-License-Identifier: Apache-2.0
// Keeps the last non-empty line of a stream written in pieces (a helper's
// standard error), bounded in size whatever the stream's length.
#ifndef SPEECH_LAST_LINE_H
#define SPEECH_LAST_LINE_H

#include <cstddef>
#include <string>

namespace speech {

class LastLine {
  public:
    void feed(const char *data, std::size_t len);
    // The last complete non-empty line, or the unfinished one at the end.
    std::string get() const;

  private:
    static constexpr std::size_t kMaxLine = 512;
    std::string current_;
    std::string last_;
};

}  // namespace speech

#endif  // SPEECH_LAST_LINE_H
