// SPDX-License-Identifier: Apache-2.0
#include "helper_count.h"

#include <dirent.h>

#include <fstream>
#include <string>

namespace tts_server {

unsigned engine_helper_children(const std::string &proc) {
    DIR *tasks = opendir((proc + "/task").c_str());
    if (tasks == nullptr) return 0;
    unsigned count = 0;
    while (const dirent *task = readdir(tasks)) {
        if (task->d_name[0] == '.') continue;
        std::ifstream children(proc + "/task/" + task->d_name + "/children");
        std::string pid;
        while (children >> pid) {
            std::ifstream comm("/proc/" + pid + "/comm");
            std::string name;
            if (std::getline(comm, name) && name == "tts-engine") ++count;
        }
    }
    closedir(tasks);
    return count;
}

}  // namespace tts_server
