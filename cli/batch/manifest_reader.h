// SPDX-License-Identifier: Apache-2.0
// A batch manifest's lines, read from a descriptor with a bound on a
// line's length: a longer line ends the manifest with the reason, so one
// without line ends (/dev/zero) can take neither all memory nor all time.
// A read error ends the manifest with its reason, never as if it had ended.
#ifndef TTS_SAY_MANIFEST_READER_H
#define TTS_SAY_MANIFEST_READER_H

#include <cstddef>
#include <string>

namespace tts_say {

// The longest manifest line taken: 16 MiB.
inline constexpr std::size_t kMaxManifestLine = 16u << 20;

class ManifestReader {
  public:
    explicit ManifestReader(int fd, std::size_t max_line = kMaxManifestLine) : fd_(fd), max_line_(max_line) {}

    enum class Got { line, end, error };
    // The next line, without its LF (nor a CR before it), in `line`; a
    // leading UTF-8 byte-order mark of the first line is passed over.
    // `too_long` says the line was longer than the bound; `error` holds
    // the reason when reading failed or the line was too long.
    Got next(std::string &line, bool &too_long, std::string &error);
    // The bytes read up to the end of the last line.
    long long offset() const { return offset_; }

  private:
    bool fill(std::string &error);

    int fd_;
    std::size_t max_line_;
    char buf_[1 << 16];
    std::size_t pos_ = 0, len_ = 0;
    bool eof_ = false, first_ = true;
    long long offset_ = 0;
    long long lines_ = 0;
};

}  // namespace tts_say

#endif  // TTS_SAY_MANIFEST_READER_H
