// SPDX-License-Identifier: Apache-2.0
#include "fd_budget.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>

namespace tts_server {
namespace {

unsigned open_descriptors() {
    unsigned n = 0;
    if (DIR *d = ::opendir("/proc/self/fd")) {
        while (const dirent *e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

}  // namespace

unsigned connections_within_fd_limit(unsigned wanted, unsigned reserved) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return wanted;
    const rlim_t used = open_descriptors() + reserved;
    if (limit.rlim_cur <= used) return 1;
    return static_cast<unsigned>(std::min<rlim_t>(wanted, std::max<rlim_t>(1, limit.rlim_cur - used)));
}

}  // namespace tts_server
