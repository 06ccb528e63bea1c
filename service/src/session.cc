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
constexpr long kDefaultTimeoutMs = 30000;

std::chrono::milliseconds timeout_from_env() {
    if (const char *env = std::getenv("SPEECH_SERVICE_ENGINE_TIMEOUT_MS")) {
        char *end = nullptr;
        const long ms = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && ms > 0) return std::chrono::milliseconds(ms);
    }
    return std::chrono::milliseconds(kDefaultTimeoutMs);
}

std::vector<std::string> engine_args(const SessionConfig &c) {
    return {"--voice",  c.engine_voice,
            "--rate",   std::to_string(engine_rate(c.speed)),
            "--volume", std::to_string(engine_volume(c.volume)),
            "--pitch",  std::to_string(engine_pitch(c.pitch)),
            "--sample-rate", std::to_string(c.sample_rate)};
}

}  // namespace

Session::Session(const SessionConfig &config) : config_(config), engine_timeout_(timeout_from_env()) {}

Session::~Session() {
    stop();
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

int Session::start() {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) return SPEECH_ERR_SYSTEM;
    if (const int rc = engine_.spawn(engine_program_path(), engine_args(config_))) return rc;
    try {
        thread_ = std::thread(&Session::collect, this);
    } catch (...) {
        return SPEECH_ERR_SYSTEM;
    }
    return SPEECH_OK;
}

int Session::put_text(const char *text, unsigned int len) {
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
    try {
        text_.assign(text == nullptr ? "" : text, len);
    } catch (const std::bad_alloc &) {
        return SPEECH_ERR_OUT_OF_MEMORY;
    }
    text_put_ = true;
    wake_collector();
    return SPEECH_OK;
}

const void *Session::fetch(unsigned int &len, int &status, int &code) {
    std::unique_lock<std::mutex> lock(mutex_);
    len = 0;
    status = 1;
    code = SPEECH_OK;
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

void Session::stop() {
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

int Session::append_audio(const char *data, std::size_t len) {
    // The helper's output must begin with the magic; what follows is audio.
    if (magic_got_ < kEngineMagicLen) {
        const std::size_t take = std::min(len, kEngineMagicLen - magic_got_);
        if (std::memcmp(data, kEngineMagic + magic_got_, take) != 0) return SPEECH_ERR_ENGINE_OUTPUT;
        magic_got_ += take;
        data += take;
        len -= take;
        if (len == 0) return SPEECH_OK;
    }
    audio_bytes_ += len;
    std::lock_guard<std::mutex> lock(mutex_);
    // Room for a full buffer at once: growing by doubling would copy the
    // audio and briefly hold it twice. Untouched capacity costs no memory.
    if (pending_.capacity() < kBufferCap) pending_.reserve(kBufferCap);
    pending_.insert(pending_.end(), data, data + len);
    if (pending_.size() >= kFetchTarget) audio_ready_.notify_all();
    return SPEECH_OK;
}

// Moves text to the helper and audio from it until the helper closes its
// output. Returns 0 at the end of the output, or an error code.
int Session::pump(EngineProcess &engine) {
    const int sock = engine.socket();
    std::string text;
    std::size_t text_sent = 0;
    bool have_text = false, write_closed = false;
    auto last_progress = std::chrono::steady_clock::now();
    std::vector<char> chunk(kIoChunk);

    for (;;) {
        std::size_t room;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (cancelled_) return SPEECH_ERR_INVALID_HANDLE;
            if (done_) return failure_;  // the text was rejected
            if (text_put_ && !text_handed_) {
                text.swap(text_);
                text_handed_ = have_text = true;
                std::vector<EngineSegment> segments;
                if (const int rc = engine_segments(config_, text, segments)) return rc;
                text.clear();
                for (const EngineSegment &s : segments) text += s.text;
                last_progress = std::chrono::steady_clock::now();
            }
            room = kBufferCap - std::min(kBufferCap, pending_.size());
        }
        if (have_text && !write_closed && text_sent == text.size()) {
            ::shutdown(sock, SHUT_WR);
            write_closed = true;
            std::string().swap(text);
            text_sent = 0;
        }
        const bool want_write = have_text && !write_closed;
        pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {sock, 0, 0}};
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
        const int n = ::poll(fds, 2, timeout);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return SPEECH_ERR_SYSTEM;
        if (n == 0) return SPEECH_ERR_ENGINE_TIMEOUT;
        if (fds[0].revents != 0) {
            std::uint64_t v;
            (void)!::read(wake_fd_, &v, sizeof v);
        }
        const short rev = fds[1].fd >= 0 ? fds[1].revents : 0;
        if (want_write && (rev & (POLLOUT | POLLERR | POLLHUP))) {
            const std::size_t want = std::min(kIoChunk, text.size() - text_sent);
            const ssize_t w = ::send(sock, text.data() + text_sent, want, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (w > 0) {
                text_sent += static_cast<std::size_t>(w);
                last_progress = std::chrono::steady_clock::now();
            } else if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                write_closed = true;  // the helper is gone; its exit tells why
            }
        }
        if (room > 0 && (rev & (POLLIN | POLLERR | POLLHUP))) {
            const ssize_t r = ::recv(sock, chunk.data(), std::min(room, chunk.size()), MSG_DONTWAIT);
            if (r == 0) return SPEECH_OK;
            if (r > 0) {
                if (const int rc = append_audio(chunk.data(), static_cast<std::size_t>(r))) return rc;
                last_progress = std::chrono::steady_clock::now();
            } else if (errno == ECONNRESET) {
                return SPEECH_OK;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return SPEECH_ERR_SYSTEM;
            }
        }
    }
}

// The session's thread: runs the helper to its end and records the outcome.
void Session::collect() {
    int rc;
    try {
        rc = pump(engine_);
    } catch (const std::bad_alloc &) {
        rc = SPEECH_ERR_OUT_OF_MEMORY;
    } catch (...) {
        rc = SPEECH_ERR_SYSTEM;
    }
    engine_.close_socket();
    int exit_code = -1;
    if (rc != SPEECH_OK) {
        engine_.kill();
        engine_.reap(std::chrono::milliseconds(0), exit_code);
    } else {
        rc = engine_.reap(engine_timeout_, exit_code, &cancelled_);
        if (rc == SPEECH_OK && (magic_got_ < kEngineMagicLen || audio_bytes_ % 2 != 0)) rc = SPEECH_ERR_ENGINE_OUTPUT;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!done_) {
        done_ = true;
        failure_ = rc;
    }
    audio_ready_.notify_all();
}

}  // namespace speech
