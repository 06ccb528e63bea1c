// SPDX-License-Identifier: Apache-2.0
#include "module_process.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "audio_block.h"

namespace sd_tts::test {

namespace {
using Clock = std::chrono::steady_clock;
double ms_since(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }
}  // namespace

ModuleProcess::ModuleProcess(const std::vector<std::string> &args, const std::vector<std::string> &env) {
    int to_child[2];
    int from_child[2];
    if (pipe(to_child) != 0 || pipe(from_child) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        close(to_child[0]);
        close(to_child[1]);
        close(from_child[0]);
        close(from_child[1]);
        for (const std::string &e : env) putenv(const_cast<char *>(e.c_str()));
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(SD_TTS));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(SD_TTS, argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    in_ = to_child[1];
    out_ = from_child[0];
}

ModuleProcess::~ModuleProcess() {
    if (in_ >= 0) close(in_);
    if (pid_ > 0 && wait_exit(10000) == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
}

void ModuleProcess::send(const std::string &text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(in_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void ModuleProcess::close_input() {
    if (in_ >= 0) close(in_);
    in_ = -1;
}

bool ModuleProcess::line(std::string &out, int timeout_ms) {
    const auto start = Clock::now();
    while (true) {
        const std::size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            out = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        const int left = timeout_ms - static_cast<int>(ms_since(start));
        if (left <= 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, left) <= 0) continue;
        char chunk[65536];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> ModuleProcess::until(const std::string &last, int timeout_ms) {
    std::vector<std::string> lines;
    std::string l;
    while (line(l, timeout_ms)) {
        lines.push_back(l);
        if (l.rfind(last, 0) == 0) break;
    }
    return lines;
}

bool ModuleProcess::handshake() {
    send("INIT\n");
    const auto init = until("299 ");
    if (init.empty() || init.back() != "299 OK LOADED SUCCESSFULLY") return false;
    send("AUDIO\naudio_output_method=server\n.\n");
    const auto audio = until("203 ");
    return audio.size() == 2 && audio.back() == "203 OK AUDIO INITIALIZED";
}

std::vector<Event> ModuleProcess::events(int timeout_ms) {
    std::vector<Event> out;
    const auto start = Clock::now();
    std::string l;
    std::string name;
    while (line(l, timeout_ms)) {
        const double at = ms_since(start);
        if (l.rfind("705-AUDIO", 0) == 0) {
            Event e{"705", "", "", at};
            if (l.size() < 10 || l[9] != '\0' || !unescape_audio(std::string_view(l).substr(10), e.pcm)) e.code = "bad705";
            out.push_back(std::move(e));
        } else if (l.rfind("700-", 0) == 0 || l.rfind("706-", 0) == 0) {
            name = l.substr(4);
        } else if (l == "700 INDEX MARK" || l == "706 ICON") {
            out.push_back({l.substr(0, 3), name, "", at});
        } else if (l.rfind("705", 0) == 0) {
            continue;  // the format lines and the block's last line
        } else {
            out.push_back({l.substr(0, 3), l.size() > 4 ? l.substr(4) : "", "", at});
            if (l == "702 END" || l == "703 STOP" || l == "704 PAUSE") break;
        }
    }
    return out;
}

int ModuleProcess::wait_exit(int timeout_ms) {
    const auto start = Clock::now();
    while (ms_since(start) < timeout_ms) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            pid_ = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

std::string audio_of(const std::vector<Event> &events) {
    std::string pcm;
    for (const Event &e : events)
        if (e.code == "705") pcm += e.pcm;
    return pcm;
}

std::vector<std::string> marks_of(const std::vector<Event> &events) {
    std::vector<std::string> names;
    for (const Event &e : events)
        if (e.code == "700") names.push_back(e.name);
    return names;
}

std::string shape_of(const std::vector<Event> &events) {
    std::string shape;
    for (const Event &e : events) {
        if (e.code == "705" && shape.size() >= 3 && shape.substr(shape.size() - 3) == "705") continue;
        if (!shape.empty()) shape += " ";
        shape += e.code;
    }
    return shape;
}

double rms(const std::string &pcm) {
    double sum = 0;
    const std::size_t n = pcm.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        int16_t s;
        std::memcpy(&s, pcm.data() + 2 * i, 2);
        sum += double(s) * s;
    }
    return n == 0 ? 0 : std::sqrt(sum / n);
}

}  // namespace sd_tts::test
