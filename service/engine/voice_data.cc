// SPDX-License-Identifier: Apache-2.0
#include "voice_data.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace speech {
namespace {

bool is_folder(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The engine takes a data file as present when it has a length.
bool has_content(const std::string &path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::string own_folder() {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    const std::string path(exe, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string quick_voice_data_dir() {
    if (std::getenv("ESPEAK_DATA_PATH") != nullptr) return {};
    if (const char *home = std::getenv("HOME"); home != nullptr && is_folder(std::string(home) + "/espeak-ng-data"))
        return {};
    const std::string folder = own_folder();
    if (folder.empty()) return {};
    const std::string dir = folder + "/" + kQuickVoiceFolder;
    for (const char *file : {"phontab", "phonindex", "phondata", "intonations", "cmn_dict"})
        if (!has_content(dir + "/" + file)) return {};
    if (!has_content(dir + "/voices/" + kQuickVoice)) return {};
    return dir;
}

}  // namespace speech
