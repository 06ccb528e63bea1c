// SPDX-License-Identifier: Apache-2.0
#include "console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

Captured run_captured(const std::function<int()> &call, const std::string &input) {
    TempDir dir;
    const std::string in_path = dir.path("stdin");
    const std::string out_path = dir.path("stdout");
    write_file(in_path, input);
    if (std::freopen(in_path.c_str(), "r", stdin) == nullptr) throw std::runtime_error("freopen stdin");

    // The library never flushes, so flush around the redirection of fd 1.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int fd = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDOUT_FILENO);
    close(fd);
    const int result = call();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    const int next = std::getchar();
    return Captured{result, read_file(out_path), next};
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/tts-test-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

unsigned le32(const std::string &bytes, std::size_t offset) {
    unsigned v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(offset + i));
    return v;
}

int audio_files_being_written(pid_t pid, const std::string &folder) {
    namespace fs = std::filesystem;
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::error_code ec;
    int n = 0;
    for (const auto &fd : fs::directory_iterator(proc / "fd", ec)) {
        std::error_code link_ec;
        if (fs::read_symlink(fd.path(), link_ec).string().rfind(folder, 0) != 0) continue;
        struct stat st {};
        if (::stat(fd.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 44) continue;
        const std::string info = read_file((proc / "fdinfo" / fd.path().filename()).string());
        const std::size_t at = info.find("flags:");
        if (at != std::string::npos && (std::strtol(info.c_str() + at + 6, nullptr, 8) & O_ACCMODE) != O_RDONLY) ++n;
    }
    return n;
}

}  // namespace testing_support
