// SPDX-License-Identifier: Apache-2.0
#include "service_client.h"

#include <dirent.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "speech_service.h"

namespace service_test {
namespace {

int count_entries(const char *dir) {
    DIR *d = opendir(dir);
    if (d == nullptr) return -1;
    int n = 0;
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n;
}

}  // namespace

Synthesis synthesize(const std::string &params, const std::string &text) {
    Synthesis s;
    const char *h = QTTSSessionBegin(params.c_str(), &s.begin_code);
    if (h == nullptr) return s;
    s.put_code = QTTSTextPut(h, text.data(), static_cast<unsigned>(text.size()), nullptr);
    for (;;) {
        unsigned len = 0;
        int status = 0;
        const void *block = QTTSAudioGet(h, &len, &status, &s.fetch_code);
        ++s.fetches;
        if (block != nullptr) s.audio.append(static_cast<const char *>(block), len);
        if (s.fetch_code != 0 || status == 2) break;
    }
    s.end_code = QTTSSessionEnd(h, "Normal");
    return s;
}

ProcessResources resources() {
    errno = 0;
    const bool children = !(waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
    return {count_entries("/proc/self/fd"), count_entries("/proc/self/task"), children};
}

bool operator==(const ProcessResources &a, const ProcessResources &b) {
    return a.fds == b.fds && a.threads == b.threads && a.children == b.children;
}

ProcessResources resources_once_idle(const ProcessResources &want) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    ProcessResources now = resources();
    while (!(now == want) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = resources();
    }
    return now;
}

ProcessResources settled_resources() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    ProcessResources now = resources();
    while (now.children && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = resources();
    }
    // The keeper thread ends just after the last helper.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return resources();
}

void set_engine(const std::string &program, const std::string &timeout_ms) {
    setenv("SPEECH_SERVICE_ENGINE", program.c_str(), 1);
    setenv("SPEECH_SERVICE_ENGINE_TIMEOUT_MS", timeout_ms.c_str(), 1);
}

void reset_engine() {
    unsetenv("SPEECH_SERVICE_ENGINE");
    unsetenv("SPEECH_SERVICE_ENGINE_TIMEOUT_MS");
}

}  // namespace service_test
