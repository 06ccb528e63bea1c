// SPDX-License-Identifier: Apache-2.0
// Files made without a name in the folder they are meant for, and named
// only once complete: a process killed outright (SIGKILL) while it writes
// one leaves nothing behind. Where the file system cannot make them, the
// callers make a named temporary file instead.
#ifndef TTS_SAY_UNNAMED_FILE_H
#define TTS_SAY_UNNAMED_FILE_H

#include <sys/types.h>

#include <functional>
#include <string>

namespace tts_say {

// The path that opens descriptor `fd` of this process again.
std::string descriptor_path(int fd);

// An unnamed file in `folder`, readable and writable, with `mode` less the
// umask once named; -1 with errno set.
int open_unnamed(const std::string &folder, mode_t mode);
// The same in the folder open as `folder_fd`.
int open_unnamed_at(int folder_fd, mode_t mode);

// Gives the unnamed file `fd` the name `target`: linked there at once when
// nothing is there; else linked under a fresh name (`temp_prefix` and six
// characters) and renamed over what is there, so that the old file is
// replaced in one step. `temp_name` hears that fresh name while it exists,
// then null. False with errno set.
bool link_into_place(int fd, const std::string &target, const std::string &temp_prefix,
                     const std::function<void(const char *)> &temp_name = {});
// The same with `target` and the fresh names relative to the folder open
// as `folder_fd`.
bool link_into_place_at(int fd, int folder_fd, const std::string &target, const std::string &temp_prefix,
                        const std::function<void(const char *)> &temp_name = {});

// Six characters for a fresh name.
std::string six_random();

}  // namespace tts_say

#endif  // TTS_SAY_UNNAMED_FILE_H
