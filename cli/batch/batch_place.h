// SPDX-License-Identifier: Apache-2.0
// Where a batch's files go: the output folder, held open, and each item's
// file named beneath it. Names are resolved from the folder's descriptor
// and may not leave it, by "..", an absolute path or a symbolic link, so a
// manifest from elsewhere cannot write outside the folder.
#ifndef TTS_SAY_BATCH_PLACE_H
#define TTS_SAY_BATCH_PLACE_H

#include <sys/types.h>

#include <string>

namespace tts_say {

// A file descriptor with one owner.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd &&o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    UniqueFd &operator=(UniqueFd &&o) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    int get() const { return fd_; }

  private:
    int fd_ = -1;
};

// An item's file: the folder that holds it, open, and its last part.
struct ItemPlace {
    UniqueFd folder;
    std::string base;
    std::string shown;  // as the results and messages name it
};

// A file's identity, to tell whether two names are one file.
struct FileId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool known = false;
    bool operator==(const FileId &o) const { return known && o.known && dev == o.dev && ino == o.ino; }
};
FileId file_id_of(int fd);
FileId file_id_of(const std::string &path);

class OutputRoot {
  public:
    // Opens the folder `dir`, making it and its parents when missing (as
    // mkdir -p); false with the reason.
    bool open(const std::string &dir, std::string &error);
    const std::string &dir() const { return dir_; }

    // The place of `relative` (a path inside the folder): its folder
    // resolved beneath this one. False with the reason when the path is
    // absolute, climbs with "..", holds a NUL, or its folder escapes
    // through a symbolic link or cannot be opened.
    bool place(const std::string &relative, ItemPlace &out, std::string &error) const;

  private:
    UniqueFd fd_;
    std::string dir_;
};

// True when `path` is relative, has no ".." part and no NUL byte.
bool stays_inside(const std::string &path);

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_PLACE_H
