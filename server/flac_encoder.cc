// SPDX-License-Identifier: Apache-2.0
#include "flac_encoder.h"

#include <sndfile.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace tts_server {
namespace {

constexpr int kFormat = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

// A growing string that libsndfile writes into as into a file.
struct MemoryFile {
    std::string bytes;
    sf_count_t at = 0;
};

sf_count_t length(void *f) { return static_cast<sf_count_t>(static_cast<MemoryFile *>(f)->bytes.size()); }

sf_count_t seek(sf_count_t offset, int whence, void *f) {
    auto &m = *static_cast<MemoryFile *>(f);
    const sf_count_t base = whence == SEEK_CUR ? m.at : whence == SEEK_END ? length(f) : 0;
    if (base + offset < 0) return -1;
    m.at = base + offset;
    return m.at;
}

sf_count_t read(void *ptr, sf_count_t count, void *f) {
    auto &m = *static_cast<MemoryFile *>(f);
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, length(f) - m.at));
    std::memcpy(ptr, m.bytes.data() + m.at, static_cast<std::size_t>(n));
    m.at += n;
    return n;
}

sf_count_t write(const void *ptr, sf_count_t count, void *f) {
    auto &m = *static_cast<MemoryFile *>(f);
    const auto end = static_cast<std::size_t>(m.at + count);
    if (end > m.bytes.size()) m.bytes.resize(end);
    std::memcpy(m.bytes.data() + m.at, ptr, static_cast<std::size_t>(count));
    m.at += count;
    return count;
}

sf_count_t tell(void *f) { return static_cast<MemoryFile *>(f)->at; }

struct CloseSndfile {
    void operator()(SNDFILE *s) const { sf_close(s); }
};

}  // namespace

bool flac_available() {
    SF_INFO info{};
    info.samplerate = 16000;
    info.channels = 1;
    info.format = kFormat;
    return sf_format_check(&info) != 0;
}

std::optional<std::string> encode_flac(std::string_view pcm, unsigned rate) {
    SF_VIRTUAL_IO io = {length, seek, read, write, tell};
    MemoryFile file;
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 1;
    info.format = kFormat;
    {
        std::unique_ptr<SNDFILE, CloseSndfile> out(sf_open_virtual(&io, SFM_WRITE, &info, &file));
        if (out == nullptr) return std::nullopt;
        // The samples are little-endian whatever the host's order.
        std::vector<short> samples(pcm.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<short>(static_cast<std::uint16_t>(static_cast<unsigned char>(pcm[2 * i]) |
                                                                      static_cast<unsigned char>(pcm[2 * i + 1]) << 8));
        const auto n = static_cast<sf_count_t>(samples.size());
        if (sf_write_short(out.get(), samples.data(), n) != n) return std::nullopt;
    }
    return std::move(file.bytes);
}

}  // namespace tts_server
