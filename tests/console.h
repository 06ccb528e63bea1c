// SPDX-License-Identifier: Apache-2.0
// Runs a call with standard input fed from a string and standard output
// captured byte for byte, and works with the files it leaves behind.
#ifndef TTS_TESTS_CONSOLE_H
#define TTS_TESTS_CONSOLE_H

#include <sys/types.h>

#include <functional>
#include <string>

namespace testing_support {

struct Captured {
    int result;
    std::string out;     // everything written to stdout during the call
    int next_stdin_char; // what the next read of stdin gives after the call
};

// Calls `call` with stdin reading `input` and stdout captured.
Captured run_captured(const std::function<int()> &call, const std::string &input = "xy");

// A fresh directory, removed with its contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path(const std::string &name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

bool file_exists(const std::string &path);
std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &bytes);

// How many regular files in `folder` (or below) process `pid` holds open
// for writing with more than a WAV header in them: WAVs being written,
// named or not.
int audio_files_being_written(pid_t pid, const std::string &folder);

// Little-endian 32-bit value at `offset` of `bytes`.
unsigned le32(const std::string &bytes, std::size_t offset);

}  // namespace testing_support

#endif  // TTS_TESTS_CONSOLE_H
