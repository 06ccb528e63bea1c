// SPDX-License-Identifier: Apache-2.0
#include "server_process.h"

#include "helper_count.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace server_test {
namespace {

unsigned count_entries(const std::string &dir) {
    unsigned n = 0;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

ServerProcess::ServerProcess(std::vector<std::string> args, std::vector<std::string> env)
    : ServerProcess(std::move(args), Setup{std::move(env), "", 0}) {}

ServerProcess::ServerProcess(std::vector<std::string> args, Setup setup) {
    std::vector<std::string> &env = setup.env;
    int err[2];
    if (pipe(err) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(err[1], 2);
        close(err[0]);
        close(err[1]);
        for (auto &e : env) putenv(e.data());
        if (setup.max_files != 0) {
            const rlimit files = {setup.max_files, setup.max_files};
            setrlimit(RLIMIT_NOFILE, &files);
        }
        std::vector<char *> argv = {const_cast<char *>(TTS_SERVER), const_cast<char *>("--listen"),
                                    const_cast<char *>("127.0.0.1:0")};
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(TTS_SERVER, argv.data());
        _exit(127);
    }
    close(err[1]);
    // The first line; what follows goes on to the test's own stderr.
    char c;
    while (read(err[0], &c, 1) == 1 && c != '\n') line_ += c;
    if (std::find(args.begin(), args.end(), "--wyoming") != args.end()) {
        while (read(err[0], &c, 1) == 1 && c != '\n') wyoming_line_ += c;
        const auto at = wyoming_line_.rfind(':');
        if (wyoming_line_.rfind("tts-server: wyoming on tcp://", 0) == 0 && at != std::string::npos)
            wyoming_port_ = std::atoi(wyoming_line_.c_str() + at + 1);
    }
    if (fork() == 0) {
        const int out = setup.log.empty() ? 2 : open(setup.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        while (read(err[0], &c, 1) == 1) (void)!write(out, &c, 1);
        _exit(0);
    }
    close(err[0]);
    const auto colon = line_.rfind(':');
    if (line_.rfind("tts-server: listening on http://127.0.0.1:", 0) == 0 && colon != std::string::npos)
        port_ = std::atoi(line_.c_str() + colon + 1);
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) stop(SIGKILL);
}

int ServerProcess::stop(int signal, int seconds) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    for (int i = 0; i < seconds * 50; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        usleep(20000);
    }
    return -1;
}

unsigned ServerProcess::helpers() const { return tts_server::engine_helper_children("/proc/" + std::to_string(pid_)); }

double ServerProcess::cpu_seconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    // Fields 14 and 15 (utime, stime), counted after the command's ")".
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14) ticks += std::stoull(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

unsigned ServerProcess::descriptors() const { return count_entries("/proc/" + std::to_string(pid_) + "/fd"); }

}  // namespace server_test

std::string server_test::run(const std::string &command) {
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}
