// SPDX-License-Identifier: Apache-2.0
#include "sndfile_encoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tts_server {
namespace {

constexpr sf_count_t kSilentFrames = 960;  // 20 ms at 48 kHz, 120 ms at 8 kHz

int sndfile_format(AudioFormat format) {
    switch (format) {
        case AudioFormat::kMp3:
            return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
        default:
            return SF_FORMAT_OGG | SF_FORMAT_OPUS;
    }
}

// The file libsndfile writes: the bytes not yet handed out are held, those
// before `handed` are gone to the client. libsndfile seeks back at the end
// to fill in the MP3 info frame's totals, which a stream may leave unknown,
// so writes into what is gone are dropped.
struct StreamFile {
    std::string held;
    sf_count_t handed = 0;  // bytes handed out before `held`
    sf_count_t at = 0;      // libsndfile's position
    sf_count_t end() const { return handed + static_cast<sf_count_t>(held.size()); }
};

sf_count_t file_length(void *f) { return static_cast<StreamFile *>(f)->end(); }

sf_count_t file_seek(sf_count_t offset, int whence, void *f) {
    auto &s = *static_cast<StreamFile *>(f);
    const sf_count_t base = whence == SEEK_CUR ? s.at : whence == SEEK_END ? s.end() : 0;
    if (base + offset < 0) return -1;
    s.at = base + offset;
    return s.at;
}

sf_count_t file_read(void *, sf_count_t, void *) { return 0; }

sf_count_t file_write(const void *ptr, sf_count_t count, void *f) {
    auto &s = *static_cast<StreamFile *>(f);
    const auto *bytes = static_cast<const char *>(ptr);
    sf_count_t from = s.at;
    sf_count_t n = count;
    if (from < s.handed) {  // the part already sent is dropped
        const sf_count_t skip = std::min(n, s.handed - from);
        bytes += skip, from += skip, n -= skip;
    }
    if (n > 0) {
        const auto offset = static_cast<std::size_t>(from - s.handed);
        if (offset > s.held.size()) s.held.resize(offset, '\0');
        const std::size_t overlap = std::min(s.held.size() - offset, static_cast<std::size_t>(n));
        s.held.replace(offset, overlap, bytes, static_cast<std::size_t>(n));
    }
    s.at += count;
    return count;
}

sf_count_t file_tell(void *f) { return static_cast<StreamFile *>(f)->at; }

class SndfileEncoder : public AudioEncoder {
  public:
    ~SndfileEncoder() override {
        if (sndfile_ != nullptr) sf_close(sndfile_);
    }

    std::string open(AudioFormat format, unsigned rate) {
        SF_INFO info{};
        info.samplerate = static_cast<int>(rate);
        info.channels = 1;
        info.format = sndfile_format(format);
        sndfile_ = sf_open_virtual(&io_, SFM_WRITE, &info, &file_);
        if (sndfile_ == nullptr) return std::string("libsndfile cannot write this format: ") + sf_strerror(nullptr);
        if (format == AudioFormat::kMp3) {
            // Constant bit rate: a player can tell the length and position
            // of a stream from its size alone.
            int mode = SF_BITRATE_MODE_CONSTANT;
            sf_command(sndfile_, SFC_SET_BITRATE_MODE, &mode, sizeof mode);
        }
        return {};
    }

    std::string add(std::string_view pcm, std::string &out) override {
        // The samples are little-endian whatever the host's order.
        samples_.resize(pcm.size() / 2);
        for (std::size_t i = 0; i < samples_.size(); ++i)
            samples_[i] = static_cast<short>(static_cast<std::uint16_t>(static_cast<unsigned char>(pcm[2 * i]) |
                                                                       static_cast<unsigned char>(pcm[2 * i + 1]) << 8));
        const auto n = static_cast<sf_count_t>(samples_.size());
        written_ += n;
        if (n > 0 && sf_write_short(sndfile_, samples_.data(), n) != n)
            return std::string("the encoder failed: ") + sf_strerror(sndfile_);
        hand_out(out);
        return {};
    }

    std::string finish(std::string &out) override {
        // A stream of no frames is no stream to a decoder: a text with no
        // speech gets a moment of silence.
        if (written_ == 0) {
            samples_.assign(kSilentFrames, 0);
            if (sf_write_short(sndfile_, samples_.data(), kSilentFrames) != kSilentFrames)
                return std::string("the encoder failed: ") + sf_strerror(sndfile_);
        }
        const int rc = sf_close(sndfile_);
        sndfile_ = nullptr;
        if (rc != 0) return std::string("the encoder failed at the end: ") + sf_error_number(rc);
        hand_out(out);
        return {};
    }

  private:
    void hand_out(std::string &out) {
        out += file_.held;
        file_.handed += static_cast<sf_count_t>(file_.held.size());
        file_.held.clear();
    }

    SF_VIRTUAL_IO io_ = {file_length, file_seek, file_read, file_write, file_tell};
    StreamFile file_;
    SNDFILE *sndfile_ = nullptr;
    std::vector<short> samples_;
    sf_count_t written_ = 0;
};

}  // namespace

bool sndfile_can_encode(AudioFormat format) {
    SF_INFO info{};
    info.samplerate = 24000;
    info.channels = 1;
    info.format = sndfile_format(format);
    return sf_format_check(&info) != 0;
}

std::unique_ptr<AudioEncoder> make_sndfile_encoder(AudioFormat format, unsigned rate, std::string &error) {
    auto encoder = std::make_unique<SndfileEncoder>();
    error = encoder->open(format, rate);
    if (!error.empty()) return nullptr;
    return encoder;
}

}  // namespace tts_server
