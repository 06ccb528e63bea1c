// SPDX-License-Identifier: Apache-2.0
// The file a WAV is made in before it goes where it was asked for.
#ifndef TTS_SAY_TEMP_FILE_H
#define TTS_SAY_TEMP_FILE_H

#include <string>

namespace tts_say {

// A uniquely named file, removed again unless it was renamed into place:
// when the object goes and when a signal ends the process.
class TempFile {
  public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;

    // Makes `prefix` + six unique characters, readable and writable as a
    // plain create would make it (0666 less the umask); false with the
    // system's reason in `error`.
    bool create(const std::string &prefix, std::string &error);

    // Makes a file without a name in `folder` (see unnamed_file.h), which
    // rename_to names `prefix` + six characters on its way into place if
    // a file is there; false where the file system cannot.
    bool create_unnamed(const std::string &folder, const std::string &prefix);

    // Takes the name away at once: the file lives on through its descriptor
    // and nothing is left behind on any exit. The path to open it by is
    // then /proc/self/fd/N. False (and the name kept) where /proc is absent.
    bool drop_name();

    // What to open the file by.
    const std::string &path() const { return path_; }
    int fd() const { return fd_; }

    // Renames (or first names) the file onto `target`, after which it is no
    // longer removed; false with errno set.
    bool rename_to(const std::string &target);

  private:
    std::string path_;
    std::string prefix_;  // of the name an unnamed file may take on its way
    int fd_ = -1;
    bool named_ = false;
    bool unnamed_ = false;
};

}  // namespace tts_say

#endif  // TTS_SAY_TEMP_FILE_H
