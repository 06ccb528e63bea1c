// SPDX-License-Identifier: Apache-2.0
// tts-server: the speech service over HTTP.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <variant>

#include "bearer_token.h"
#include "http_server.h"
#include "listen_socket.h"
#include "options.h"
#include "speech_service.h"

namespace {

// How long work in flight may take to finish after SIGTERM.
constexpr std::chrono::seconds kDrainDeadline{25};
constexpr const char *kLogin = "appid = 7e5a5e7e, work_dir = /";

int fail(const std::string &message, int status) {
    std::fprintf(stderr, "tts-server: %s\n", message.c_str());
    return status;
}

// The socket systemd passed, or a new one on `listen`.
std::variant<tts_server::ListenSocket, std::string> take_socket(const std::string &listen) {
    auto activated = tts_server::socket_from_systemd();
    if (auto *e = std::get_if<std::string>(&activated)) return *e;
    if (auto *s = std::get_if<tts_server::ListenSocket>(&activated)) return std::move(*s);
    return tts_server::listen_on(listen);
}

}  // namespace

int main(int argc, char **argv) {
    using namespace tts_server;
    auto parsed = parse_options(argc, argv);
    if (auto *e = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "tts-server: %s\n%s", e->message.c_str(), usage_text());
        return 2;
    }
    const Options &opts = std::get<Options>(parsed);
    if (opts.help) {
        std::fputs(usage_text(), stdout);
        return 0;
    }

    ServerConfig config;
    const unsigned cores = std::thread::hardware_concurrency();
    config.workers = opts.workers != 0 ? opts.workers : (cores != 0 ? cores : 1);
    config.queue = opts.queue != 0 ? opts.queue : 2 * config.workers;
    config.max_text = opts.max_text;
    config.access_log = opts.access_log;
    if (!opts.voice_alias_file.empty())
        if (const std::string e = config.voice_aliases.load(opts.voice_alias_file); !e.empty()) return fail(e, 1);
    for (const std::string &alias : opts.voice_aliases) config.voice_aliases.set(alias);
    config.cors = CorsPolicy(opts.cors_origins);
    if (!opts.token_file.empty()) {
        auto token = read_token_file(opts.token_file);
        if (token.index() == 1) return fail(std::get<1>(token), 1);
        config.token = std::get<0>(token);
    }

    // Signals are taken by this thread alone, with sigwait: every thread
    // started from here on has them blocked (the service's helpers get a
    // clean mask of their own).
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto listening = take_socket(opts.listen);
    if (auto *e = std::get_if<std::string>(&listening)) return fail(*e, 1);
    ListenSocket &socket = std::get<ListenSocket>(listening);
    const std::string address = socket.address();

    if (const int rc = MSPLogin(nullptr, nullptr, kLogin); rc != SPEECH_OK)
        return fail(std::string("the speech service refused the login: ") + speech_service_error_text(rc), 1);
    int status = 0;
    {
        HttpServer server(config);
        if (const std::string error = server.start(socket.release()); !error.empty()) return fail(error, 1);
        std::fprintf(stderr, "tts-server: listening on http://%s\n", address.c_str());
        std::fflush(stderr);

        int signal_number = 0;
        sigwait(&stop, &signal_number);
        server.drain();
        if (!server.wait_idle(std::chrono::steady_clock::now() + kDrainDeadline)) {
            std::fprintf(stderr, "tts-server: work still in flight after %lld s; exiting\n",
                         static_cast<long long>(kDrainDeadline.count()));
            std::fflush(stderr);
            // The connections' threads are still in their work: leave without
            // waiting for them (the helpers die with the process).
            std::_Exit(status);
        }
    }
    MSPLogout();
    return status;
}
