// SPDX-License-Identifier: Apache-2.0
#include "session.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "audio_budget.h"
#include "engine_timeout.h"
#include "engine_pool.h"
#include "engine_request.h"
#include "engine_segments.h"
#include "speech_service.h"
#include "utf8.h"

namespace speech {
namespace {

// The collecting thread stops reading when this much audio waits unfetched
// (the helper then blocks on its output), and a fetch waits until this
// much is ready or synthesis has ended. The cap leaves room for what the
// engine produces while the client pauses between fetches.
constexpr std::size_t kBufferCap = 8u << 20;
constexpr std::size_t kFetchTarget = 1u << 20;
constexpr std::size_t kIoChunk = 64u << 10;

std::chrono::milliseconds timeout_from_env() {
    return engine_timeout(std::getenv("SPEECH_SERVICE_ENGINE_TIMEOUT_MS"));
}

EngineSettings engine_settings(const SessionConfig &c) {
    EngineSettings s;
    s.rate = engine_rate(c.speed);
    s.volume = engine_volume(c.volume);
    s.pitch = engine_pitch(c.pitch);
    s.sample_rate = c.sample_rate;
    return s;
}

// The request for the helper: the session's settings and the segments of
// its text (or of its document, when it was read as one); 0 or an error
// code. Setting `cancel` stops the text's reading.
int build_request(const SessionConfig &config, std::string_view text, const std::optional<ssml::Document> &document,
                  const std::atomic<bool> &cancel, std::string &out) {
    std::vector<EngineSegment> segments;
    const int rc = document ? engine_segments(config, *document, segments, &cancel)
                            : engine_segments(config, text, segments, &cancel);
    if (rc != SPEECH_OK) return rc;
    out.clear();
    append_request_head(out, engine_settings(config));
    for (const EngineSegment &s : segments) append_request_segment(out, s);
    append_request_end(out);
    return SPEECH_OK;
}

bool stderr_inherited() {
    const char *env = std::getenv("SPEECH_SERVICE_ENGINE_STDERR");
    return env != nullptr && std::string(env) == "inherit";
}

}  // namespace

Session::Session(const SessionConfig &config)
    : config_(config), engine_timeout_(timeout_from_env()), audio_limit_(audio_byte_limit(config)), owner_(getpid()) {}

Session::~Session() {
    stop();
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

int Session::start() {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) return SPEECH_ERR_SYSTEM;
    if (const int rc = take_engine(engine_program_path(), stderr_inherited(), engine_)) return rc;
    if (engine_->sessions() > 0) output_.expect_frames();
    io_buffer_.resize(kIoChunk);
    try {
        thread_ = std::thread(&Session::collect, this);
    } catch (...) {
        return SPEECH_ERR_SYSTEM;
    }
    return SPEECH_OK;
}

int Session::put_text(const char *text, unsigned int len, std::optional<ssml::Document> document) {
    if (!ours()) return SPEECH_ERR_INVALID_HANDLE;
    if (text == nullptr && len != 0) return SPEECH_ERR_NULL_ARGUMENT;
    std::lock_guard<std::mutex> lock(mutex_);
    if (text_put_) return SPEECH_ERR_TEXT_ALREADY_PUT;
    if (!is_speakable_utf8(text, len)) {
        // The session cannot speak anything now: it fails as a whole.
        text_put_ = true;
        done_ = true;
        failure_ = SPEECH_ERR_INVALID_TEXT;
        audio_ready_.notify_all();
        return SPEECH_ERR_INVALID_TEXT;
    }
    if (document) {
        document_ = std::move(document);
    } else {
        try {
            text_.assign(text == nullptr ? "" : text, len);
        } catch (const std::bad_alloc &) {
            return SPEECH_ERR_OUT_OF_MEMORY;
        }
    }
    text_put_ = true;
    wake_collector();
    return SPEECH_OK;
}

const void *Session::fetch(unsigned int &len, int &status, int &code) {
    len = 0;
    status = 1;
    code = SPEECH_OK;
    if (!ours()) {
        code = SPEECH_ERR_INVALID_HANDLE;
        return nullptr;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (!text_put_) {
        code = SPEECH_ERR_NO_TEXT;
        return nullptr;
    }
    audio_ready_.wait(lock, [&] { return cancelled_ || done_ || pending_.size() >= kFetchTarget; });
    if (cancelled_) {
        code = SPEECH_ERR_INVALID_HANDLE;
        return nullptr;
    }
    const bool was_full = pending_.size() >= kBufferCap;
    fetched_.clear();
    fetched_.swap(pending_);
    if (was_full) wake_collector();
    if (done_) {
        code = failure_;
        status = failure_ == SPEECH_OK ? 2 : 1;
    }
    len = static_cast<unsigned int>(fetched_.size());
    return fetched_.empty() ? nullptr : fetched_.data();
}

std::string Session::engine_error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return engine_error_;
}

void Session::stop() {
    if (!ours()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cancelled_ = true;
    }
    audio_ready_.notify_all();
    wake_collector();
    if (thread_.joinable()) thread_.join();
}

void Session::wake_collector() {
    if (wake_fd_ < 0) return;
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);  // a full counter is awake already
}

void Session::audio(const char *data, std::size_t len) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Room for a full buffer at once: growing by doubling would copy the
    // audio and briefly hold it twice. Untouched capacity costs no memory.
    if (pending_.capacity() < kBufferCap) pending_.reserve(kBufferCap);
    pending_.insert(pending_.end(), data, data + len);
    if (pending_.size() >= kFetchTarget) audio_ready_.notify_all();
}

// Keeps the last line of what the helper wrote on stderr; `to_end` reads
// all that is left once the helper has ended.
void Session::read_stderr(bool to_end) {
    if (!engine_ || engine_->stderr_fd() < 0) return;
    char buf[4096];
    for (;;) {
        const ssize_t r = ::read(engine_->stderr_fd(), buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0) stderr_line_.feed(buf, static_cast<std::size_t>(r));
        if (r == 0) engine_->close_stderr();
        if (r <= 0 || !to_end) return;
    }
}

// Hands the request to the helper and collects its output until its end
// frame or the end of its output, keeping its stderr's last line. Returns
// 0 then, or an error code.
int Session::pump(EngineProcess &engine) {
    const int sock = engine.socket();
    std::string request;
    std::size_t sent = 0;
    bool have_text = false, write_closed = false;
    auto last_progress = std::chrono::steady_clock::now();
    std::vector<char> &chunk = io_buffer_;

    for (;;) {
        std::size_t room;
        std::string text;
        std::optional<ssml::Document> document;
        bool took_text = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) return SPEECH_ERR_INVALID_HANDLE;
            if (done_) return failure_;  // the text was rejected
            if (text_put_ && !text_handed_) {
                text.swap(text_);
                document.swap(document_);
                text_handed_ = have_text = took_text = true;
                last_progress = std::chrono::steady_clock::now();
            }
            room = kBufferCap - std::min(kBufferCap, pending_.size());
        }
        if (took_text) {
            if (const int rc = build_request(config_, text, document, cancelled_, request)) return rc;
            std::string().swap(text);
            document.reset();
        }
        if (have_text && !write_closed && sent == request.size()) {
            // The helper knows the request's end, and its input stays open
            // for the next session's request.
            write_closed = true;
            std::string().swap(request);
            sent = 0;
        }
        const bool want_write = have_text && !write_closed;
        const int err = engine.stderr_fd();
        pollfd fds[3] = {{wake_fd_, POLLIN, 0}, {sock, 0, 0}, {err, POLLIN, 0}};
        fds[1].events = static_cast<short>((room > 0 ? POLLIN : 0) | (want_write ? POLLOUT : 0));
        if (fds[1].events == 0) fds[1].fd = -1;
        // The bound only runs while the helper has work and we can take its
        // output: waiting for the client's text or fetches is not a hang.
        int timeout = -1;
        if (have_text && fds[1].fd >= 0) {
            const auto left = engine_timeout_ - (std::chrono::steady_clock::now() - last_progress);
            timeout = static_cast<int>(std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
        }
        const int n = ::poll(fds, 3, timeout);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SPEECH_ERR_SYSTEM;
        if (n == 0) return SPEECH_ERR_ENGINE_TIMEOUT;
        if (fds[0].revents != 0) {
            std::uint64_t v;
            (void)!::read(wake_fd_, &v, sizeof v);
        }
        if (err >= 0 && fds[2].revents != 0) read_stderr(false);
        const short rev = fds[1].fd >= 0 ? fds[1].revents : 0;
        if (want_write && (rev & (POLLOUT | POLLERR | POLLHUP))) {
            const std::size_t want = std::min(kIoChunk, request.size() - sent);
            const ssize_t w = ::send(sock, request.data() + sent, want, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (w > 0) {
                sent += static_cast<std::size_t>(w);
                last_progress = std::chrono::steady_clock::now();
            } else if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                write_closed = true;  // the helper is gone; its output tells why
            }
        }
        if (room > 0 && (rev & (POLLIN | POLLERR | POLLHUP))) {
            const ssize_t r = ::recv(sock, chunk.data(), std::min(room, chunk.size()), MSG_DONTWAIT);
            if (r == 0) return SPEECH_OK;
            if (r > 0) {
                if (!output_.feed(chunk.data(), static_cast<std::size_t>(r), *this)) return SPEECH_ERR_ENGINE_OUTPUT;
                // The hard bound, whatever the estimate at QTTSTextPut said.
                if (output_.audio_bytes() > audio_limit_) return SPEECH_ERR_AUDIO_TOO_LONG;
                if (output_.ended()) return SPEECH_OK;
                last_progress = std::chrono::steady_clock::now();
            } else if (errno == ECONNRESET) {
                return SPEECH_OK;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return SPEECH_ERR_SYSTEM;
            }
        }
    }
}

// The session's result from the end of its helper: the end frame decides;
// without one the session fails, whatever the exit status says.
int Session::outcome(int pumped, const EngineEnd &end) const {
    if (pumped != SPEECH_OK) return pumped;
    if (end.kind == EngineEnd::kTimedOut) return SPEECH_ERR_ENGINE_TIMEOUT;
    if (end.kind == EngineEnd::kSignaled) return SPEECH_ERR_ENGINE_CRASHED;
    const int result = output_.ended() ? output_.result() : end.exit_code;
    if (!output_.ended()) {
        // The output stopped short: a helper that died (its status may be
        // lost to the host) or one that failed before it could say so.
        if (end.kind == EngineEnd::kUnknown) return SPEECH_ERR_ENGINE_CRASHED;
        if (result == kEngineOk) return SPEECH_ERR_ENGINE_OUTPUT;
    }
    if (result == kEngineUnknownVoice) return SPEECH_ERR_UNKNOWN_VOICE;
    if (result != kEngineOk || (end.kind == EngineEnd::kExited && end.exit_code != kEngineOk))
        return SPEECH_ERR_ENGINE_FAILED;
    if (output_.audio_bytes() % 2 != 0) return SPEECH_ERR_ENGINE_OUTPUT;
    return SPEECH_OK;
}

// The session's thread: runs the helper to its end and records the outcome.
void Session::collect() {
    int rc;
    try {
        rc = pump(*engine_);
    } catch (const std::bad_alloc &) {
        rc = SPEECH_ERR_OUT_OF_MEMORY;
    } catch (...) {
        rc = SPEECH_ERR_SYSTEM;
    }
    EngineEnd end;
    if (rc == SPEECH_OK && output_.ended()) {
        // The helper has said how it ended: the session's result does not
        // wait for its exit. Its stderr line, if any, was written before its
        // end frame. After a good end it waits for another session's
        // request; after any other it is exiting.
        end.kind = EngineEnd::kExited;
        end.exit_code = output_.result();
        read_stderr(true);
        if (outcome(rc, end) == SPEECH_OK) {
            return_engine(std::move(engine_), engine_timeout_);
        } else {
            engine_->close_socket();
            engine_->close_stderr();
            retire_engine(std::move(engine_), engine_timeout_);
        }
    } else {
        engine_->close_socket();
        if (rc != SPEECH_OK) {
            engine_->kill();
            end = engine_->reap(std::chrono::milliseconds(0));
        } else {
            end = engine_->reap(engine_timeout_, &cancelled_);
        }
        read_stderr(true);
        engine_->close_stderr();
        retire_engine(std::move(engine_), std::chrono::milliseconds(0));
    }
    rc = outcome(rc, end);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!done_) {
        done_ = true;
        failure_ = rc;
    }
    if (failure_ != SPEECH_OK) engine_error_ = stderr_line_.get();
    audio_ready_.notify_all();
}

}  // namespace speech
