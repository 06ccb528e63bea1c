// SPDX-License-Identifier: Apache-2.0
// tts-server: the speech service over HTTP.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <cstdio>
#include <string>
#include <thread>
#include <variant>

#include "bearer_token.h"
#include "http_server.h"
#include "listen_socket.h"
#include "options.h"
#include "speech_service.h"
#include "wyoming/wyoming_server.h"

namespace {

// How long work in flight may take to finish after SIGTERM.
constexpr std::chrono::seconds kDrainDeadline{25};
constexpr const char *kLogin = "appid = 7e5a5e7e, work_dir = /";

int fail(const std::string &message, int status) {
    std::fprintf(stderr, "tts-server: %s\n", message.c_str());
    return status;
}

// The socket systemd passed for `which`, or a new one on `host_port`
// (none for an empty one).
std::variant<std::optional<tts_server::ListenSocket>, std::string> take_socket(
    std::optional<tts_server::ListenSocket> &activated, const std::string &host_port, const char *option) {
    if (activated) return std::move(activated);
    if (host_port.empty()) return std::nullopt;
    auto bound = tts_server::listen_on(host_port);
    if (auto *e = std::get_if<std::string>(&bound)) return std::string(option) + ": " + *e;
    return std::optional<tts_server::ListenSocket>(std::move(std::get<tts_server::ListenSocket>(bound)));
}

// Wyoming beside HTTP, on the same workers, queue and metrics; it prints
// its line once it accepts.
std::variant<std::unique_ptr<tts_server::wyoming::WyomingServer>, std::string> start_wyoming(
    const tts_server::ServerConfig &config, tts_server::HttpServer &http, tts_server::ListenSocket socket) {
    char *list = nullptr;
    if (const int rc = speech_service_voices(&list); rc != SPEECH_OK)
        return std::string("wyoming: the speech service lists no voices: ") + speech_service_error_text(rc);
    auto voices = tts_server::wyoming::VoiceCatalogue::from_lines(list);
    speech_service_free(list);
    tts_server::wyoming::WyomingConfig wyoming_config;
    wyoming_config.max_text = config.max_text;
    wyoming_config.max_audio_seconds = config.max_audio_seconds;
    wyoming_config.version = TTS_VERSION;
    const std::string address = socket.address();
    auto server = std::make_unique<tts_server::wyoming::WyomingServer>(wyoming_config, std::move(voices),
                                                                       http.admission(), http.metrics());
    if (std::string error = server->start(socket.release()); !error.empty()) return error;
    std::fprintf(stderr, "tts-server: wyoming on tcp://%s\n", address.c_str());
    std::fflush(stderr);
    return server;
}

// The signals that drain the server and end it with status 0: those that
// end a process by default, but for the ones that report a fault of its own
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS, SIGTRAP, SIGXCPU,
// SIGXFSZ) and SIGKILL. SIGHUP drains too, as systemd's units expect of a
// service that has no configuration to reload.
sigset_t stop_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGIO, SIGPWR,
                        SIGSTKFLT})
        sigaddset(&set, s);
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) sigaddset(&set, s);
    return set;
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
    config.max_audio_seconds = opts.max_audio_seconds;
    config.request_timeout = opts.request_timeout;
    config.max_connections = opts.max_connections;
    config.max_client_connections = opts.max_client_connections;
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
    // clean mask of their own). Each of them drains and ends the server.
    const sigset_t stop = stop_signals();
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto activated = sockets_from_systemd();
    if (auto *e = std::get_if<std::string>(&activated)) return fail(*e, 1);
    auto listening = take_socket(std::get<ActivatedSockets>(activated).http, opts.listen, "--listen");
    if (auto *e = std::get_if<std::string>(&listening)) return fail(*e, 1);
    ListenSocket &socket = *std::get<0>(listening);
    const std::string address = socket.address();
    auto wyoming_listening = take_socket(std::get<ActivatedSockets>(activated).wyoming, opts.wyoming, "--wyoming");
    if (auto *e = std::get_if<std::string>(&wyoming_listening)) return fail(*e, 1);
    std::optional<ListenSocket> &wyoming_socket = std::get<0>(wyoming_listening);

    if (const int rc = MSPLogin(nullptr, nullptr, kLogin); rc != SPEECH_OK)
        return fail(std::string("the speech service refused the login: ") + speech_service_error_text(rc), 1);
    int status = 0;
    {
        HttpServer server(config);
        if (const std::string error = server.start(socket.release()); !error.empty()) return fail(error, 1);
        std::fprintf(stderr, "tts-server: listening on http://%s\n", address.c_str());
        std::fflush(stderr);
        std::unique_ptr<wyoming::WyomingServer> wyoming;
        if (wyoming_socket) {
            auto started = start_wyoming(config, server, std::move(*wyoming_socket));
            if (auto *e = std::get_if<std::string>(&started)) return fail(*e, 1);
            wyoming = std::move(std::get<0>(started));
        }

        int signal_number = 0;
        sigwait(&stop, &signal_number);
        server.drain();
        if (wyoming) wyoming->drain();
        const auto deadline = std::chrono::steady_clock::now() + kDrainDeadline;
        // A second signal while work drains (a second Ctrl-C) ends it at once.
        const auto idle = [&](std::chrono::steady_clock::time_point until) {
            return server.wait_idle(until) && (!wyoming || wyoming->wait_idle(until));
        };
        const timespec poll{0, 50 * 1000 * 1000};
        bool done = idle(std::chrono::steady_clock::now());
        while (!done && std::chrono::steady_clock::now() < deadline) {
            if (sigtimedwait(&stop, nullptr, &poll) > 0) {
                std::fprintf(stderr, "tts-server: a second signal while draining; exiting without the work in flight\n");
                std::fflush(stderr);
                std::_Exit(1);
            }
            done = idle(std::chrono::steady_clock::now());
        }
        if (!done) {
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
