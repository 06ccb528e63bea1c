// SPDX-License-Identifier: Apache-2.0
#include "wav_body.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wav_image.h"

namespace tts_server {
namespace {

constexpr std::size_t kPiece = 64 * 1024;

ApiError keep_failed(const std::string &why) {
    return {500, "the audio could not be kept for its WAV header: " + why, "server_error", "", "spill_failed"};
}

// An unnamed file in $TMPDIR (or /tmp), gone when closed.
int unnamed_file(std::string &error) {
    const char *dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0') dir = "/tmp";
    const int fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) error = std::string(dir) + ": " + std::strerror(errno);
    return fd;
}

bool write_all(int fd, const char *p, std::size_t n, std::uint64_t at) {
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, static_cast<off_t>(at));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w, n -= static_cast<std::size_t>(w), at += static_cast<std::uint64_t>(w);
    }
    return true;
}

class WavBody : public AnswerBody {
  public:
    WavBody(std::string memory, int fd, std::uint64_t size, double seconds)
        : memory_(std::move(memory)), fd_(fd), size_(size), seconds_(seconds) {}
    ~WavBody() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool more(std::string &out) override {
        if (sent_ == size_ || failure_) return false;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, size_ - sent_));
        if (fd_ < 0) {
            out.append(memory_, static_cast<std::size_t>(sent_), n);
            sent_ += n;
        } else {
            const std::size_t old = out.size();
            out.resize(old + n);
            const ssize_t r = ::pread(fd_, out.data() + old, n, static_cast<off_t>(sent_));
            if (r <= 0) {
                out.resize(old);
                failure_ = keep_failed(r < 0 ? std::strerror(errno) : "the file is shorter than written");
                return false;
            }
            out.resize(old + static_cast<std::size_t>(r));
            sent_ += static_cast<std::uint64_t>(r);
        }
        return true;
    }

    std::optional<std::uint64_t> size() const override { return size_; }
    double audio_seconds() const override { return seconds_; }

  private:
    std::string memory_;
    int fd_;
    const std::uint64_t size_;
    const double seconds_;
    std::uint64_t sent_ = 0;
};

// The image of a 16-bit mono header at `rate` whose sizes state
// `data_bytes` of audio, as a finished file does (saturating).
void mono_header(unsigned rate, std::uint64_t data_bytes, unsigned char (&image)[tts::kWavHeaderBytes]) {
    wav_hdr hdr = {{'R', 'I', 'F', 'F'}, 0, {'W', 'A', 'V', 'E'}, {'f', 'm', 't', ' '}, 16, 1, 1, rate,
                   rate * 2, 2, 16, {'d', 'a', 't', 'a'}, 0};
    tts::wav_add_final_sizes(hdr, data_bytes);
    tts::wav_encode(hdr, image);
}

// The header of a WAV whose length is not known: both sizes at their
// largest, which players take as "to the end of the stream".
void unknown_size_header(unsigned rate, std::string &memory) {
    unsigned char image[tts::kWavHeaderBytes];
    mono_header(rate, UINT64_MAX, image);
    std::memcpy(memory.data(), image, sizeof image);
}

// When no temporary file can be made (a read-only file system): what was
// gathered, then the rest of the audio as it comes, under a header of
// unknown sizes.
class StreamedWavBody : public AnswerBody {
  public:
    StreamedWavBody(std::unique_ptr<PcmSource> source, std::string gathered, Cancelled cancelled)
        : source_(std::move(source)), gathered_(std::move(gathered)), cancelled_(std::move(cancelled)) {
        unknown_size_header(source_->rate(), gathered_);
    }

    bool more(std::string &out) override {
        if (!gathered_.empty()) {
            out.swap(gathered_);
            std::string().swap(gathered_);
            return true;
        }
        while (out.empty() && !ended_ && !failure_) {
            std::string_view block;
            if (cancelled_()) {
                failure_ = ApiError{499, "the client closed the connection", "", "", "client_gone"};
            } else if (const int code = source_->next(block, ended_); code != 0) {
                failure_ = service_failure(code, Synthesis::engine_error());
            } else {
                out.append(block.data(), block.size());
            }
        }
        return !out.empty();
    }

    double audio_seconds() const override { return static_cast<double>(source_->bytes()) / (2.0 * source_->rate()); }

  private:
    std::unique_ptr<PcmSource> source_;
    std::string gathered_;
    Cancelled cancelled_;
    bool ended_ = false;
};

}  // namespace

std::variant<std::unique_ptr<AnswerBody>, ApiError> gather_wav(std::unique_ptr<PcmSource> &owned, const Cancelled &cancelled,
                                                               std::size_t memory_bytes) {
    PcmSource &source = *owned;
    std::string memory(tts::kWavHeaderBytes, '\0');
    int fd = -1;
    std::uint64_t size = tts::kWavHeaderBytes;
    const auto fail = [&fd](ApiError e) {
        if (fd >= 0) ::close(fd);
        return e;
    };
    for (bool last = false; !last;) {
        if (cancelled()) return fail({499, "the client closed the connection", "", "", "client_gone"});
        std::string_view block;
        if (const int code = source.next(block, last); code != 0)
            return fail(service_failure(code, Synthesis::engine_error()));
        if (fd < 0 && memory.size() + block.size() > memory_bytes) {
            std::string error;
            if ((fd = unnamed_file(error)) < 0) {
                std::fprintf(stderr, "tts-server: no temporary file for a long WAV (%s): sent with unknown sizes\n",
                             error.c_str());
                memory.append(block.data(), block.size());
                if (last) {  // all of it is here after all
                    size += block.size();
                    break;
                }
                return std::unique_ptr<AnswerBody>(new StreamedWavBody(std::move(owned), std::move(memory), cancelled));
            }
            if (!write_all(fd, memory.data(), memory.size(), 0)) return fail(keep_failed(std::strerror(errno)));
            std::string().swap(memory);
        }
        if (fd < 0) memory.append(block.data(), block.size());
        else if (!write_all(fd, block.data(), block.size(), size)) return fail(keep_failed(std::strerror(errno)));
        size += block.size();
    }
    const std::uint64_t data = size - tts::kWavHeaderBytes;
    if (data > 0xFFFFFFFFu - tts::kRiffSizeOverhead)
        return fail({500, "the audio is too long for a WAV file; ask for another format", "server_error", "", "too_long"});
    const unsigned rate = source.rate();
    unsigned char image[tts::kWavHeaderBytes];
    mono_header(rate, data, image);
    if (fd < 0) std::memcpy(memory.data(), image, sizeof image);
    else if (!write_all(fd, reinterpret_cast<const char *>(image), sizeof image, 0))
        return fail(keep_failed(std::strerror(errno)));
    const double seconds = static_cast<double>(data) / (2.0 * rate);
    return std::unique_ptr<AnswerBody>(new WavBody(std::move(memory), fd, size, seconds));
}

}  // namespace tts_server
