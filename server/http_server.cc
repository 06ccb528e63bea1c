// SPDX-License-Identifier: Apache-2.0
#include "http_server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "api_error.h"
#include "bearer_token.h"
#include "answer_body.h"
#include "fd_budget.h"
#include "helper_count.h"
#include "listings.h"
#include "shown_text.h"
#include "request_framing.h"
#include "speech_request.h"
#include "tab_pairs.h"
#include "speech_service.h"
#include "synthesis.h"

namespace tts_server {
namespace {

// Connections each have a thread; slow or idle ones hold only that, never a
// worker, and are closed after this long without a byte (the connection
// guard bounds the time to receive a request, and how many there are).
constexpr unsigned kIdleTimeoutSeconds = 10;
// Connections accepted beyond the guard's limit, so that a new one can get
// in and make room by dropping one that waits.
constexpr unsigned kConnectionHeadroom = 64;
// A connection's buffer for the request line and headers: larger headers
// get 431.
constexpr std::size_t kConnectionMemory = 32 * 1024;
constexpr std::size_t kStreamBlock = 64 * 1024;
constexpr const char *kJson = "application/json";

using Clock = std::chrono::steady_clock;

const char *route_of(const std::string &url) {
    static const char *const kRoutes[] = {"/v1/audio/speech", "/v1/voices",       "/v1/reading",
                                          "/healthz",         "/readyz",          "/metrics",
                                          "/v1/models",       "/v1/audio/models", "/v1/audio/voices"};
    for (const char *r : kRoutes)
        if (url == r) return r;
    return "other";
}

const char *method_of(const std::string &route) {
    if (route == "/v1/audio/speech" || route == "/v1/reading") return "POST";
    return "GET";
}

// The Allow header of a route: HEAD is served wherever GET is.
const char *allowed_on(const std::string &route) {
    return std::string(method_of(route)) == "GET" ? "GET, HEAD" : method_of(route);
}

// Whether the connection is reset or shut down both ways. A client that
// only ended its sending side after its request (a half-close) still waits
// for the answer.
bool client_gone(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr) return false;
    pollfd p = {info->connect_fd, 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

HeaderList request_headers(MHD_Connection *connection) {
    HeaderList headers;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void *cls, MHD_ValueKind, const char *name, const char *value) {
            static_cast<HeaderList *>(cls)->emplace_back(name, value == nullptr ? "" : value);
            return MHD_YES;
        },
        &headers);
    return headers;
}

void *guard_handle(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info == nullptr ? nullptr : info->socket_context;
}

std::string client_address(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char host[NI_MAXHOST];
    if (info == nullptr || info->client_addr == nullptr ||
        ::getnameinfo(info->client_addr, info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in),
                      host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
        return "-";
    return host;
}

bool is_json_type(const char *type) {
    if (type == nullptr) return false;
    const std::size_t n = std::strlen(kJson);
    return strncasecmp(type, kJson, n) == 0 && (type[n] == '\0' || type[n] == ';' || type[n] == ' ');
}

// The service's "FIRST<TAB>SECOND" lines (a list it allocated, freed here)
// as JSON objects with those two keys; a line without a tab has "" second.
nlohmann::json tab_lines(char *list, const char *first, const char *second) {
    const std::string lines = list;
    speech_service_free(list);
    nlohmann::json out = nlohmann::json::array();
    for (const auto &[a, b] : tab_pairs(lines)) out.push_back({{first, a}, {second, b}});
    return out;
}

}  // namespace

struct HttpServer::Exchange {
    Clock::time_point start = Clock::now();
    std::string method;
    std::string url;
    std::string route;
    std::string body;
    bool too_big = false;
    std::string failure;  // why the request failed while its body came
    std::size_t discarded = 0;
    unsigned status = 0;
    std::shared_ptr<std::atomic<std::uint64_t>> sent = std::make_shared<std::atomic<std::uint64_t>>(0);
    // Set when a streamed answer stops short after its 200: what the
    // metrics and the log count it as, instead.
    std::shared_ptr<std::optional<ApiError>> cut = std::make_shared<std::optional<ApiError>>();
};

// A speech answer, sent while it is made: it owns the body (and with it the
// session) and the worker, both given back when the connection is done
// with it, however it ends.
struct HttpServer::Stream {
    std::unique_ptr<Admission::Slot> slot;
    std::unique_ptr<AnswerBody> body;
    Metrics &metrics;
    std::shared_ptr<std::atomic<std::uint64_t>> sent;
    std::shared_ptr<std::optional<ApiError>> cut;
    std::string pending;
    std::size_t offset = 0;

    ~Stream() { metrics.add_audio_seconds(body->audio_seconds()); }

    ssize_t read(char *buf, std::size_t max) {
        while (offset == pending.size()) {
            pending.clear();
            offset = 0;
            if (!body->more(pending)) {
                if (!body->failure()) return MHD_CONTENT_READER_END_OF_STREAM;
                // Too late for a status: the client sees the stream cut
                // short, without its last chunk.
                *cut = body->failure();
                std::fprintf(stderr, "tts-server: the answer was cut short: %s\n", tts_text::printable((*cut)->message).c_str());
                return MHD_CONTENT_READER_END_WITH_ERROR;
            }
        }
        const std::size_t n = std::min(max, pending.size() - offset);
        std::memcpy(buf, pending.data() + offset, n);
        offset += n;
        *sent += n;
        return static_cast<ssize_t>(n);
    }
};

struct Routes {
    using Exchange = HttpServer::Exchange;

    static MHD_Result queue(HttpServer &s, MHD_Connection *c, Exchange &ex, unsigned status, MHD_Response *r,
                            std::uint64_t size) {
        if (r == nullptr) return MHD_NO;
        s.guard_.received(guard_handle(c));
        if (s.draining_) MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
        if (s.config_.cors.enabled()) {
            const std::string origin =
                s.config_.cors.allow_origin(MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Origin"));
            if (!origin.empty()) {
                MHD_add_response_header(r, "Access-Control-Allow-Origin", origin.c_str());
                MHD_add_response_header(r, "Access-Control-Expose-Headers", "X-Sample-Rate");
                if (origin != "*") MHD_add_response_header(r, "Vary", "Origin");
            }
        }
        const MHD_Result rc = MHD_queue_response(c, status, r);
        MHD_destroy_response(r);
        ex.status = status;
        *ex.sent = size;
        return rc;
    }

    static MHD_Result respond(HttpServer &s, MHD_Connection *c, Exchange &ex, unsigned status, std::string body,
                              const char *type, const char *header = nullptr, const char *value = nullptr) {
        auto *owned = new std::string(std::move(body));
        MHD_Response *r = MHD_create_response_from_buffer_with_free_callback_cls(
            owned->size(), owned->data(), [](void *p) { delete static_cast<std::string *>(p); }, owned);
        if (r == nullptr) {
            delete owned;
            return MHD_NO;
        }
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
        if (header != nullptr) MHD_add_response_header(r, header, value);
        return queue(s, c, ex, status, r, owned->size());
    }

    static MHD_Result fail(HttpServer &s, MHD_Connection *c, Exchange &ex, const ApiError &e) {
        const char *header = nullptr;
        const char *value = nullptr;
        if (e.status == MHD_HTTP_SERVICE_UNAVAILABLE) header = MHD_HTTP_HEADER_RETRY_AFTER, value = "1";
        if (e.status == MHD_HTTP_UNAUTHORIZED) header = MHD_HTTP_HEADER_WWW_AUTHENTICATE, value = "Bearer";
        if (e.status == MHD_HTTP_METHOD_NOT_ALLOWED) header = MHD_HTTP_HEADER_ALLOW, value = allowed_on(ex.route);
        // A request whose framing is in doubt leaves no connection to reuse.
        if (e.status == MHD_HTTP_BAD_REQUEST && e.code == "bad_framing") header = MHD_HTTP_HEADER_CONNECTION, value = "close";
        if (e.status == MHD_HTTP_NOT_IMPLEMENTED) header = MHD_HTTP_HEADER_CONNECTION, value = "close";
        return respond(s, c, ex, e.status, error_body(e), kJson, header, value);
    }

    static ApiError busy() { return {503, "the server is busy, try again", "server_busy", "", "queue_full"}; }
    static ApiError draining() { return {503, "the server is shutting down", "server_busy", "", "draining"}; }

    // No exception leaves a handler: it would end the process with every
    // request in flight. A request that fails so (an allocation, most
    // likely) gets a 500 if it has no answer yet, else its connection ends.
    static MHD_Result on_request(void *cls, MHD_Connection *c, const char *url, const char *method, const char *version,
                                 const char *upload_data, std::size_t *upload_size, void **state) {
        auto &s = *static_cast<HttpServer *>(cls);
        try {
            return handle_request(s, c, url, method, version, upload_data, upload_size, state);
        } catch (const std::exception &e) {
            return handler_failed(s, c, static_cast<Exchange *>(*state), *upload_size, e.what());
        } catch (...) {
            return handler_failed(s, c, static_cast<Exchange *>(*state), *upload_size, "unknown exception");
        }
    }

    static MHD_Result handler_failed(HttpServer &s, MHD_Connection *c, Exchange *ex, std::size_t &upload_size,
                                     const char *what) noexcept {
        try {
            std::fprintf(stderr, "tts-server: request failed: %s\n", tts_text::printable(what).c_str());
            if (ex == nullptr || ex->status != 0) return MHD_NO;
            if (upload_size != 0) {
                // The rest of the body is read (and dropped) first: an answer
                // sent while the client still sends would be lost to the reset.
                ex->failure = what;
                std::string().swap(ex->body);
                upload_size = 0;
                return MHD_YES;
            }
            return fail(s, c, *ex, internal_error(what));
        } catch (...) {
            return MHD_NO;
        }
    }

    static ApiError internal_error(const std::string &what) {
        return {500, "the server failed: " + what, "server_error", "", "internal_error"};
    }

    static MHD_Result handle_request(HttpServer &s, MHD_Connection *c, const char *url, const char *method, const char *,
                                     const char *upload_data, std::size_t *upload_size, void **state) {
        auto *ex = static_cast<Exchange *>(*state);
        if (ex == nullptr) {
            ex = new Exchange;
            ex->method = method;
            ex->url = url;
            ex->route = route_of(ex->url);
            *state = ex;
            {
                std::lock_guard<std::mutex> lock(s.idle_mutex_);
                ++s.in_flight_;
            }
            return first_call(s, c, *ex);
        }
        if (*upload_size != 0) {
            if (!ex->failure.empty() || ex->body.size() + *upload_size > s.max_body_) ex->too_big = true;
            if (!ex->too_big) ex->body.append(upload_data, *upload_size);
            // A chunked body has no length to refuse it by: read past the
            // limit for the 413, but not without end.
            ex->discarded += ex->too_big ? *upload_size : 0;
            *upload_size = 0;
            return ex->discarded > s.max_body_ ? MHD_NO : MHD_YES;
        }
        if (ex->status != 0) return MHD_YES;  // answered early
        s.guard_.received(guard_handle(c));
        if (!ex->failure.empty()) return fail(s, c, *ex, internal_error(ex->failure));
        if (ex->too_big) return fail(s, c, *ex, body_too_big(s));
        if (ex->method == "OPTIONS" && s.config_.cors.enabled() && ex->route != "other") return preflight(s, c, *ex);
        if (ex->method != "POST")
            if (auto e = refusal(s, c, *ex)) return fail(s, c, *ex, *e);
        return dispatch(s, c, *ex);
    }

    static ApiError body_too_big(const HttpServer &s) {
        return {413, "the body is longer than " + std::to_string(s.max_body_) + " bytes", "invalid_request_error", "",
                "body_too_large"};
    }

    // What the headers alone decide. A request with a body gets it at once,
    // before the body is read (and the connection is closed after it);
    // others once the request is complete, so that the connection is kept.
    static std::optional<ApiError> refusal(const HttpServer &s, MHD_Connection *c, const Exchange &ex) {
        if (ex.route == std::string("other"))
            return ApiError{404, "no such route: " + ex.url, "invalid_request_error", "", "not_found"};
        if (ex.method != method_of(ex.route) && !(ex.method == "HEAD" && std::string(method_of(ex.route)) == "GET"))
            return ApiError{405, ex.method + " is not allowed on " + ex.route, "invalid_request_error", "", "method_not_allowed"};
        if (!s.config_.token.empty() && ex.route != std::string("/healthz") &&
            !bearer_matches(MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION), s.config_.token))
            return ApiError{401, "a valid bearer token is required", "authentication_error", "", "invalid_token"};
        if (ex.method == "POST") {
            if (!is_json_type(MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE)))
                return ApiError{415, "the body must be application/json", "invalid_request_error", "", "unsupported_media_type"};
            const char *length = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
            if (length != nullptr && std::strtoull(length, nullptr, 10) > s.max_body_) return body_too_big(s);
        }
        return std::nullopt;
    }

    // A browser's question before a cross-origin request: no token asked
    // (browsers send none with it).
    static MHD_Result preflight(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        MHD_Response *r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        if (r == nullptr) return MHD_NO;
        for (const auto &[name, value] :
             s.config_.cors.preflight(MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Origin"),
                                      MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Access-Control-Request-Headers")))
            MHD_add_response_header(r, name.c_str(), value.c_str());
        // queue() would add the answer headers of a request again.
        const MHD_Result rc = MHD_queue_response(c, MHD_HTTP_NO_CONTENT, r);
        MHD_destroy_response(r);
        ex.status = MHD_HTTP_NO_CONTENT;
        return rc;
    }

    static MHD_Result first_call(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        if (auto e = framing_error(request_headers(c))) return fail(s, c, ex, *e);
        if (ex.method != "POST") return MHD_YES;
        if (auto e = refusal(s, c, ex)) return fail(s, c, ex, *e);
        return MHD_YES;
    }

    static MHD_Result dispatch(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        const std::string &route = ex.route;
        if (route == "/v1/audio/speech") return speech(s, c, ex);
        if (route == "/v1/reading") return reading(s, c, ex);
        if (route == "/v1/voices") return voices(s, c, ex);
        if (route == "/v1/audio/voices") return audio_voices(s, c, ex);
        if (route == "/v1/models") return respond(s, c, ex, 200, models_body(), kJson);
        if (route == "/v1/audio/models") return respond(s, c, ex, 200, audio_models_body(), kJson);
        if (route == "/healthz") return respond(s, c, ex, 200, "{\"status\":\"ok\"}\n", kJson);
        if (route == "/readyz") {
            if (s.draining_) return fail(s, c, ex, draining());
            if (s.admission_.full()) return fail(s, c, ex, busy());
            return respond(s, c, ex, 200, "{\"status\":\"ready\"}\n", kJson);
        }
        const unsigned live = Synthesis::live();
        const unsigned helpers = engine_helper_children();
        const ConnectionGuard::Counts dropped = s.guard_.counts();
        Gauges g{s.admission_.waiting(), s.admission_.busy(), live, helpers > live ? helpers - live : 0,
                 dropped.timed_out, dropped.evicted, dropped.refused};
        return respond(s, c, ex, 200, s.metrics_.render(g), "text/plain; version=0.0.4");
    }

    static MHD_Result speech(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        if (s.draining_) return fail(s, c, ex, draining());
        auto parsed = parse_speech_request(ex.body, s.config_.max_text, &s.config_.voice_aliases);
        if (auto *e = std::get_if<ApiError>(&parsed)) return fail(s, c, ex, *e);
        SpeechRequest &req = std::get<SpeechRequest>(parsed);
        req.max_audio_seconds = s.config_.max_audio_seconds;
        std::string().swap(ex.body);

        auto slot = s.admission_.enter();
        if (slot == nullptr) return fail(s, c, ex, busy());
        auto started = start_answer(req, [c] { return client_gone(c); });
        if (auto *e = std::get_if<ApiError>(&started)) {
            if (e->status == 499) return MHD_NO;  // ends the connection
            return fail(s, c, ex, *e);
        }
        auto &body = std::get<std::unique_ptr<AnswerBody>>(started);
        const auto size = req.sse ? std::nullopt : body->size();
        auto *stream = new HttpServer::Stream{std::move(slot), std::move(body), s.metrics_, ex.sent, ex.cut, {}, 0};
        MHD_Response *r = MHD_create_response_from_callback(
            size ? *size : MHD_SIZE_UNKNOWN, kStreamBlock,
            [](void *cls, std::uint64_t, char *buf, std::size_t max) -> ssize_t {
                try {
                    return static_cast<HttpServer::Stream *>(cls)->read(buf, max);
                } catch (const std::exception &e) {
                    std::fprintf(stderr, "tts-server: stream failed: %s\n", e.what());
                    return MHD_CONTENT_READER_END_WITH_ERROR;
                } catch (...) {
                    return MHD_CONTENT_READER_END_WITH_ERROR;
                }
            },
            stream, [](void *cls) { delete static_cast<HttpServer::Stream *>(cls); });
        if (r == nullptr) {
            delete stream;
            return MHD_NO;
        }
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, req.sse ? "text/event-stream" : content_type(req.format));
        if (req.sse) MHD_add_response_header(r, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
        if (req.format == AudioFormat::kPcm) MHD_add_response_header(r, "X-Sample-Rate", std::to_string(req.sample_rate).c_str());
        return queue(s, c, ex, 200, r, 0);
    }

    static MHD_Result reading(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        auto parsed = parse_speech_request(ex.body, s.config_.max_text, &s.config_.voice_aliases);
        if (auto *e = std::get_if<ApiError>(&parsed)) return fail(s, c, ex, *e);
        const SpeechRequest &req = std::get<SpeechRequest>(parsed);
        char *table = nullptr;
        const int code = speech_service_reading(req.session_params().c_str(), req.input.data(),
                                                static_cast<unsigned>(req.input.size()), &table);
        if (code != SPEECH_OK) return fail(s, c, ex, service_failure(code, Synthesis::engine_error()));
        const nlohmann::json tokens = tab_lines(table, "text", "reading");
        return respond(s, c, ex, 200, nlohmann::json{{"voice", req.voice}, {"tokens", tokens}}.dump() + "\n", kJson);
    }

    static MHD_Result voices(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        char *list = nullptr;
        const int code = speech_service_voices(&list);
        if (code != SPEECH_OK) return fail(s, c, ex, service_failure(code, ""));
        const nlohmann::json voices = tab_lines(list, "name", "language");
        return respond(s, c, ex, 200, nlohmann::json{{"voices", voices}}.dump() + "\n", kJson);
    }

    static MHD_Result audio_voices(HttpServer &s, MHD_Connection *c, Exchange &ex) {
        char *list = nullptr;
        const int code = speech_service_voices(&list);
        if (code != SPEECH_OK) return fail(s, c, ex, service_failure(code, ""));
        const std::string lines = list;
        speech_service_free(list);
        return respond(s, c, ex, 200, audio_voices_body(lines), kJson);
    }

    static void on_completed(void *cls, MHD_Connection *c, void **state, MHD_RequestTerminationCode how) {
        auto &s = *static_cast<HttpServer *>(cls);
        std::unique_ptr<Exchange> ex(static_cast<Exchange *>(*state));
        *state = nullptr;
        if (ex == nullptr) return;
        try {
            s.guard_.answered(guard_handle(c));
            account(s, c, *ex, how);
        } catch (...) {
            // The count and the log line are lost; the request is not.
        }
        {
            std::lock_guard<std::mutex> lock(s.idle_mutex_);
            --s.in_flight_;
        }
        s.idle_.notify_all();
    }

    static void account(HttpServer &s, MHD_Connection *c, const Exchange &ex, MHD_RequestTerminationCode how) {
        const double seconds = std::chrono::duration<double>(Clock::now() - ex.start).count();
        // An exchange cut before any answer counts as 499, as proxies log it.
        // A stream cut after its 200 counts as the failure that cut it.
        const std::optional<ApiError> &cut = *ex.cut;
        const unsigned status = cut ? cut->status : ex.status != 0 ? ex.status : 499;
        s.metrics_.record(ex.route, status, seconds);
        if (s.config_.access_log)
            std::fprintf(stderr, "%s \"%s %s\" %u %llu %.3f%s%s%s\n", client_address(c).c_str(),
                         tts_text::printable(ex.method, true).c_str(), tts_text::printable(ex.url, true).c_str(), status,
                         static_cast<unsigned long long>(ex.sent->load()), seconds,
                         how == MHD_REQUEST_TERMINATED_COMPLETED_OK ? "" : " aborted", cut ? " cut: " : "",
                         cut ? tts_text::printable(cut->message).c_str() : "");
    }

    static void on_connection(void *cls, MHD_Connection *c, void **context, MHD_ConnectionNotificationCode what) {
        auto &s = *static_cast<HttpServer *>(cls);
        const MHD_ConnectionInfo *fd = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        try {
            if (what == MHD_CONNECTION_NOTIFY_CLOSED) {
                if (*context != nullptr) s.guard_.closed(*context);
                *context = nullptr;
            } else if (fd != nullptr) {
                *context = s.guard_.opened(fd->connect_fd, client_address(c));
            }
        } catch (...) {
            // Only opening allocates: no record, no room.
            if (what != MHD_CONNECTION_NOTIFY_CLOSED && fd != nullptr) ::shutdown(fd->connect_fd, SHUT_RDWR);
        }
    }
};

HttpServer::HttpServer(const ServerConfig &config)
    : config_(config),
      // The body holds the text JSON-escaped: at most 6 bytes for each 3 of
      // UTF-8 (\uXXXX), 12 for each 4, plus the other fields.
      max_body_(config.max_text * 3 + 4096),
      // A session holds about two descriptors, four while its helper starts
      // (and so does the warm helper); the daemon holds a few.
      accept_limit_(connections_within_fd_limit(config.max_connections + kConnectionHeadroom, 4 * (config.workers + 1) + 8)),
      guard_({std::max(1u, std::min(config.max_connections, accept_limit_ - std::min(kConnectionHeadroom, accept_limit_ / 4))),
              config.max_client_connections, std::chrono::seconds(config.request_timeout)}),
      admission_(config.workers, config.queue) {}

HttpServer::~HttpServer() {
    if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
}

std::string HttpServer::start(int listen_fd) {
    daemon_ = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL | MHD_USE_ITC, 0, nullptr,
        nullptr, &Routes::on_request, this, MHD_OPTION_LISTEN_SOCKET,
        listen_fd, MHD_OPTION_CONNECTION_LIMIT, accept_limit_,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds, MHD_OPTION_NOTIFY_CONNECTION, &Routes::on_connection, this,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_NOTIFY_COMPLETED,
        &Routes::on_completed, this, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        ::close(listen_fd);
        return "the HTTP server could not be started";
    }
    return "";
}

void HttpServer::drain() {
    draining_ = true;
    const MHD_socket fd = MHD_quiesce_daemon(daemon_);
    if (fd != MHD_INVALID_SOCKET) ::close(fd);
}

bool HttpServer::wait_idle(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(idle_mutex_);
    return idle_.wait_until(lock, deadline, [this] { return in_flight_ == 0; });
}

}  // namespace tts_server
