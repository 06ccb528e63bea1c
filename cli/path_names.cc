// SPDX-License-Identifier: Apache-2.0
#include "path_names.h"

namespace tts_say {
namespace {

constexpr std::size_t kMaxTempBase = 200;  // ".NAME.XXXXXX" stays a valid name

}  // namespace

std::string folder_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string &path) { return path.substr(path.rfind('/') + 1); }

std::string temp_name_prefix(const std::string &target) {
    return folder_of(target) + "/." + base_of(target).substr(0, kMaxTempBase) + ".";
}

}  // namespace tts_say
