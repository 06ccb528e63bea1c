// SPDX-License-Identifier: Apache-2.0
#include "login_state.h"

#include <sys/stat.h>

#include <mutex>
#include <vector>

#include "param_list.h"
#include "speech_service.h"

namespace speech {
namespace {

std::mutex g_mutex;
long g_logins = 0;

bool valid_appid(const std::string &id) {
    if (id.size() != 8) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool is_directory(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int login(const char *params) {
    if (params == nullptr) return SPEECH_ERR_NULL_ARGUMENT;
    std::vector<Param> list;
    if (!parse_param_list(params, list)) return SPEECH_ERR_MALFORMED_PARAMS;
    const std::string *appid = find_param(list, "appid");
    if (appid == nullptr || !valid_appid(*appid)) return SPEECH_ERR_BAD_APPID;
    const std::string *work_dir = find_param(list, "work_dir");
    if (work_dir == nullptr || !is_directory(*work_dir)) return SPEECH_ERR_BAD_WORK_DIR;
    std::lock_guard<std::mutex> lock(g_mutex);
    ++g_logins;
    return SPEECH_OK;
}

int logout() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_logins == 0) return SPEECH_ERR_NOT_LOGGED_IN;
    --g_logins;
    return SPEECH_OK;
}

bool logged_in() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_logins > 0;
}

}  // namespace speech
