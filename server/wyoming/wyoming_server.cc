// SPDX-License-Identifier: Apache-2.0
#include "wyoming/wyoming_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>

#include "api_error.h"
#include "speech_request.h"
#include "speech_service.h"
#include "synthesis.h"
#include "wyoming/event_stream.h"
#include "wyoming/sentence_splitter.h"

namespace tts_server::wyoming {
namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

// The rate announced in audio-start: the service's own, so the samples are
// the ones the HTTP API gives for pcm at 16000.
constexpr unsigned kRate = 16000;
// Audio goes out in chunks of up to this many bytes (128 ms).
constexpr std::size_t kChunkBytes = 4096;
// A connection waiting this long for an event (or the rest of one) is
// closed; a client that reads nothing for this long is dropped.
constexpr std::chrono::milliseconds kIdle{60000};
constexpr int kSendTimeoutSeconds = 30;

bool send_all(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Whether the client has closed its side or reset the connection.
bool client_gone(int fd) {
    pollfd p = {fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

json audio_format() { return {{"rate", kRate}, {"width", 2}, {"channels", 1}}; }

// A refusal: the error event's code and text.
struct Refusal {
    std::string code;
    std::string text;
    json extra = json::object();
};

Refusal service_refusal(int code) {
    const ApiError e = service_failure(code, Synthesis::engine_error());
    const char *word = code == SPEECH_ERR_UNKNOWN_VOICE   ? "unknown_voice"
                       : code == SPEECH_ERR_INVALID_TEXT  ? "invalid_text"
                       : code == SPEECH_ERR_ENGINE_TIMEOUT ? "engine_timeout"
                       : code == SPEECH_ERR_AUDIO_TOO_LONG ? "audio_too_long"
                       : code == SPEECH_ERR_BAD_SSML       ? "invalid_ssml"
                                                           : "engine_error";
    return {word, e.message, {{"service_code", code}}};
}

}  // namespace

// One client: its events in order, and the text stream it may have open.
class WyomingServer::Connection {
  public:
    Connection(WyomingServer &server, int fd)
        : s_(server), fd_(fd),
          // The text may come JSON-escaped, up to 6 bytes for each byte
          // of UTF-8, in the header line or in the additional data.
          reader_(fd, Limits{server.config_.max_text * 6 + 4096, server.config_.max_text * 6 + 4096, 64 * 1024}) {}

    void run() {
        for (;;) {
            Event e;
            const ReadStatus st = reader_.read(e, kIdle);
            if (st == ReadStatus::kClosed || st == ReadStatus::kTimeout) return;
            if (st == ReadStatus::kMalformed) {
                refuse({"malformed_event", reader_.error()});
                return;
            }
            if (!handle(e)) return;
        }
    }

  private:
    enum class Spoken { kDone, kRefused, kGone };
    enum class Stream { kNone, kOpen, kFailed };

    bool refuse(const Refusal &r) {
        json data = {{"text", r.text}, {"code", r.code}};
        data.update(r.extra);
        return send_all(fd_, encode_event("error", data));
    }

    bool handle(const Event &e) {
        if (e.type == "describe") {
            s_.metrics_.record("wyoming", "describe", "ok", 0);
            return send_all(fd_, encode_event("info", s_.voices_.info(s_.config_.version)));
        }
        if (e.type == "synthesize") return stream_ != Stream::kNone || synthesize(e);
        if (e.type == "synthesize-start") return stream_start(e);
        if (e.type == "synthesize-chunk") return stream_chunk(e);
        if (e.type == "synthesize-stop") return stream_stop();
        if (e.type == "ping") return send_all(fd_, encode_event("pong", e.data.contains("text") ? json{{"text", e.data["text"]}} : json::object()));
        return true;  // not ours: a peer-to-peer protocol has events for others
    }

    // Begins a request; false (after telling the client) while draining.
    bool begin() {
        started_ = Clock::now();
        if (s_.begin_work(fd_)) return true;
        refuse({"draining", "the server is shutting down"});
        return false;
    }

    void record(const std::string &route, const std::string &status) {
        s_.metrics_.record("wyoming", route, status, std::chrono::duration<double>(Clock::now() - started_).count());
    }

    bool synthesize(const Event &e) {
        if (!begin()) return false;
        std::string voice;
        std::optional<Refusal> r = pick_voice(e.data, voice);
        if (!r) r = check_text(e.data);
        Spoken spoken = Spoken::kRefused;
        if (r) refuse(*r);
        else spoken = speak(e.data["text"].get<std::string>(), voice, r);
        record("synthesize", spoken == Spoken::kGone ? "client_gone" : r ? r->code : "ok");
        return spoken != Spoken::kGone && s_.end_work(fd_);
    }

    bool stream_start(const Event &e) {
        if (stream_ != Stream::kNone) return refuse({"unexpected_event", "synthesize-start inside a stream"});
        if (!begin()) return false;
        splitter_ = SentenceSplitter();
        status_ = "ok";
        stream_ = Stream::kOpen;
        if (auto r = pick_voice(e.data, voice_)) fail(*r);
        return true;
    }

    bool stream_chunk(const Event &e) {
        if (stream_ == Stream::kNone) return refuse({"unexpected_event", "synthesize-chunk outside a stream"});
        if (stream_ == Stream::kFailed) return true;
        const auto text = e.data.find("text");
        if (text == e.data.end() || !text->is_string()) return fail({"malformed_event", "text must be a string"});
        const std::string &piece = text->get_ref<const std::string &>();
        if (piece.find('\0') != std::string::npos) return fail({"invalid_text", "text must not contain a NUL character"});
        const auto sentences = splitter_.add(piece);
        if (splitter_.total() > s_.config_.max_text) return fail(too_long());
        for (const std::string &sentence : sentences)
            if (!speak_in_stream(sentence)) return false;
        return true;
    }

    bool stream_stop() {
        if (stream_ == Stream::kNone) return refuse({"unexpected_event", "synthesize-stop outside a stream"});
        if (stream_ == Stream::kOpen && !speak_in_stream(splitter_.finish())) return false;
        stream_ = Stream::kNone;
        record("synthesize-stream", status_);
        return send_all(fd_, encode_event("synthesize-stopped")) && s_.end_work(fd_);
    }

    // Speaks a sentence of the open stream; false if the client is gone.
    bool speak_in_stream(const std::string &sentence) {
        if (stream_ != Stream::kOpen || !speakable(sentence)) return true;
        std::optional<Refusal> r;
        const Spoken spoken = speak(sentence, voice_, r);
        if (spoken == Spoken::kGone) {
            record("synthesize-stream", "client_gone");
            return false;
        }
        if (r) {
            stream_ = Stream::kFailed;
            status_ = r->code;
        }
        return true;
    }

    // Refuses the rest of the stream: its chunks are ignored, and its stop
    // is answered.
    bool fail(const Refusal &r) {
        stream_ = Stream::kFailed;
        status_ = r.code;
        return refuse(r);
    }

    Refusal too_long() const {
        return {"text_too_long", "the text is longer than " + std::to_string(s_.config_.max_text) + " bytes"};
    }

    std::optional<Refusal> check_text(const json &data) const {
        const auto text = data.find("text");
        if (text == data.end() || !text->is_string()) return Refusal{"malformed_event", "text is required and must be a string"};
        const std::string &t = text->get_ref<const std::string &>();
        if (t.empty()) return Refusal{"invalid_text", "text must not be empty"};
        if (t.size() > s_.config_.max_text) return too_long();
        if (t.find('\0') != std::string::npos) return Refusal{"invalid_text", "text must not contain a NUL character"};
        return std::nullopt;
    }

    // The voice asked for by name or language; the default without either.
    std::optional<Refusal> pick_voice(const json &data, std::string &voice) const {
        voice = SpeechRequest().voice;
        const auto v = data.find("voice");
        if (v == data.end() || v->is_null()) return std::nullopt;
        if (!v->is_object()) return Refusal{"malformed_event", "voice must be an object"};
        const auto name = v->find("name");
        const auto language = v->find("language");
        if (name != v->end() && name->is_string() && !name->get_ref<const std::string &>().empty()) {
            if (!s_.voices_.has(*name)) return Refusal{"unknown_voice", "no voice is named " + name->dump() + " (describe lists them)"};
            voice = *name;
        } else if (language != v->end() && language->is_string() && !language->get_ref<const std::string &>().empty()) {
            const auto found = s_.voices_.for_language(*language);
            if (!found) return Refusal{"unknown_language", "no voice speaks " + language->dump()};
            voice = *found;
        }
        return std::nullopt;
    }

    // One round of audio for `text`: audio-start, its chunks as they are
    // made, audio-stop. A refusal is sent and left in `refusal`.
    Spoken speak(const std::string &text, const std::string &voice, std::optional<Refusal> &refusal) {
        auto refused = [&](Refusal r) {
            refuse(r);
            refusal = std::move(r);
            return Spoken::kRefused;
        };
        auto slot = s_.admission_.enter();
        if (slot == nullptr) return refused({"server_busy", "the server is busy, try again in 1 s", {{"retry_after", 1}}});
        SpeechRequest request;
        request.input = text;
        request.voice = voice;
        request.format = AudioFormat::kPcm;
        request.sample_rate = kRate;
        request.max_audio_seconds = s_.config_.max_audio_seconds;
        int code = SPEECH_OK;
        const auto synthesis = Synthesis::begin(request.session_params(), text, code);
        if (synthesis == nullptr) return refused(service_refusal(code));
        std::string_view block;
        bool last = false;
        if ((code = synthesis->next(block, last)) != SPEECH_OK) return refused(service_refusal(code));
        if (!send_all(fd_, encode_event("audio-start", audio_format()))) return Spoken::kGone;
        std::uint64_t bytes = 0;
        for (;;) {
            for (std::size_t at = 0; at < block.size(); at += kChunkBytes)
                if (!send_all(fd_, encode_event("audio-chunk", audio_format(), std::string(block.substr(at, kChunkBytes)))))
                    return Spoken::kGone;
            bytes += block.size();
            if (last) break;
            if (client_gone(fd_)) return Spoken::kGone;
            if ((code = synthesis->next(block, last)) != SPEECH_OK) {
                std::fprintf(stderr, "tts-server: wyoming synthesis failed mid-stream: %s\n", Synthesis::engine_error().c_str());
                return refused(service_refusal(code));
            }
        }
        s_.metrics_.add_audio_seconds(static_cast<double>(bytes) / (2.0 * kRate));
        return send_all(fd_, encode_event("audio-stop")) ? Spoken::kDone : Spoken::kGone;
    }

    WyomingServer &s_;
    const int fd_;
    EventReader reader_;
    Clock::time_point started_ = Clock::now();
    Stream stream_ = Stream::kNone;
    SentenceSplitter splitter_;
    std::string voice_;
    std::string status_;
};

WyomingServer::WyomingServer(const WyomingConfig &config, VoiceCatalogue voices, Admission &admission, Metrics &metrics)
    : config_(config), voices_(std::move(voices)), admission_(admission), metrics_(metrics) {}

WyomingServer::~WyomingServer() {
    drain();
    if (acceptor_.joinable()) acceptor_.join();
    // Connections' threads use this object: they end on their own (reads
    // and writes have deadlines).
    std::unique_lock<std::mutex> lock(mutex_);
    gone_.wait(lock, [this] { return connections_.empty(); });
    lock.unlock();
    if (wake_fd_ >= 0) ::close(wake_fd_);
}

std::string WyomingServer::start(int listen_fd) {
    listen_fd_ = listen_fd;
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC);
    if (wake_fd_ < 0) {
        ::close(listen_fd_);
        return std::string("the Wyoming server could not be started: ") + std::strerror(errno);
    }
    acceptor_ = std::thread([this] { accept_loop(); });
    return "";
}

void WyomingServer::accept_loop() {
    for (;;) {
        pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents != 0) break;
        const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors or a connection reset before accept: wait
            // a little rather than spin.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) ::usleep(100000);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const timeval send_timeout = {kSendTimeoutSeconds, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_timeout, sizeof send_timeout);
        std::unique_lock<std::mutex> lock(mutex_);
        if (connections_.size() >= config_.connections) {
            lock.unlock();
            send_all(fd, encode_event("error", {{"text", "too many connections, try again"}, {"code", "server_busy"}, {"retry_after", 1}}));
            ::close(fd);
            continue;
        }
        connections_[fd] = false;
        lock.unlock();
        try {
            std::thread([this, fd] { serve(fd); }).detach();
        } catch (const std::system_error &) {
            // No thread to be had: this client is turned away, the server
            // goes on.
            lock.lock();
            connections_.erase(fd);
            ::close(fd);
        }
    }
    ::close(listen_fd_);
    listen_fd_ = -1;
}

void WyomingServer::serve(int fd) {
    Connection(*this, fd).run();
    {
        // Closed under the lock, so that drain never shuts down a
        // descriptor that has been reused.
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.erase(fd);
        ::close(fd);
    }
    gone_.notify_all();
}

bool WyomingServer::begin_work(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (draining_) return false;
    connections_[fd] = true;
    return true;
}

bool WyomingServer::end_work(int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_[fd] = false;
    return !draining_;
}

void WyomingServer::drain() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (draining_) return;
    draining_ = true;
    for (const auto &[fd, busy] : connections_)
        if (!busy) ::shutdown(fd, SHUT_RDWR);
    if (wake_fd_ >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(wake_fd_, &one, sizeof one);
    }
}

bool WyomingServer::wait_idle(Clock::time_point deadline) {
    if (acceptor_.joinable()) acceptor_.join();
    std::unique_lock<std::mutex> lock(mutex_);
    return gone_.wait_until(lock, deadline, [this] { return connections_.empty(); });
}

}  // namespace tts_server::wyoming
