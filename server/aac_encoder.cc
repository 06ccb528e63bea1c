// SPDX-License-Identifier: Apache-2.0
#include "aac_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace tts_server {
namespace {

constexpr int kBitRate = 64000;
constexpr int kIoBuffer = 4096;

std::string av_message(int rc) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(rc, text, sizeof text);
    return text;
}

class AacEncoder : public AudioEncoder {
  public:
    ~AacEncoder() override {
        if (muxer_ != nullptr) {
            if (muxer_->pb != nullptr) {
                av_freep(&muxer_->pb->buffer);
                avio_context_free(&muxer_->pb);
            }
            avformat_free_context(muxer_);
        }
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&codec_);
    }

    std::string open(unsigned rate) {
        static std::once_flag quiet;
        std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
        const AVCodec *aac = avcodec_find_encoder_by_name("aac");
        if (aac == nullptr) return "libavcodec has no AAC encoder";
        codec_ = avcodec_alloc_context3(aac);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (codec_ == nullptr || frame_ == nullptr || packet_ == nullptr) return "out of memory";
        codec_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        codec_->sample_rate = static_cast<int>(rate);
        codec_->bit_rate = kBitRate;
        codec_->time_base = {1, static_cast<int>(rate)};
        av_channel_layout_default(&codec_->ch_layout, 1);
        // The default two-loop search costs about 3 times the fast coder's
        // time and encodes slower than the service speaks; at 64 kbit/s of
        // mono speech the fast coder's output is as valid and near in size.
        if (const int rc = av_opt_set(codec_->priv_data, "aac_coder", "fast", 0); rc < 0)
            return "the AAC encoder has no fast coder: " + av_message(rc);
        if (const int rc = avcodec_open2(codec_, aac, nullptr); rc < 0) return "the AAC encoder did not open: " + av_message(rc);

        if (avformat_alloc_output_context2(&muxer_, nullptr, "adts", nullptr) < 0 || muxer_ == nullptr)
            return "libavformat has no ADTS muxer";
        auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBuffer));
        if (buffer == nullptr) return "out of memory";
        muxer_->pb = avio_alloc_context(buffer, kIoBuffer, 1, this, nullptr, &AacEncoder::written, nullptr);
        if (muxer_->pb == nullptr) {
            av_free(buffer);
            return "out of memory";
        }
        muxer_->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVStream *stream = avformat_new_stream(muxer_, nullptr);
        if (stream == nullptr) return "out of memory";
        avcodec_parameters_from_context(stream->codecpar, codec_);
        stream->time_base = codec_->time_base;
        if (const int rc = avformat_write_header(muxer_, nullptr); rc < 0) return "the ADTS muxer failed: " + av_message(rc);

        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        frame_->nb_samples = codec_->frame_size;
        if (av_frame_get_buffer(frame_, 0) < 0) return "out of memory";
        return {};
    }

    std::string add(std::string_view pcm, std::string &out) override {
        std::string error = encode(pcm);
        out += held_;
        held_.clear();
        return error;
    }

    std::string finish(std::string &out) override {
        std::string error = end();
        out += held_;
        held_.clear();
        return error;
    }

  private:
    std::string encode(std::string_view pcm) {
        for (std::size_t i = 0; i + 1 < pcm.size(); i += 2) {
            const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned char>(pcm[i]) |
                                                                              static_cast<unsigned char>(pcm[i + 1]) << 8));
            if (filled_ == 0 && av_frame_make_writable(frame_) < 0) return "out of memory";
            reinterpret_cast<float *>(frame_->data[0])[filled_++] = static_cast<float>(v) / 32768.0f;
            if (filled_ == codec_->frame_size)
                if (std::string e = send(frame_); !e.empty()) return e;
        }
        return {};
    }

    std::string end() {
        // A stream of no frames is no stream to a decoder: a text with no
        // speech gets one frame of silence.
        if (pts_ == 0 && filled_ == 0) {
            if (av_frame_make_writable(frame_) < 0) return "out of memory";
            std::fill_n(reinterpret_cast<float *>(frame_->data[0]), codec_->frame_size, 0.0f);
            filled_ = codec_->frame_size;
        }
        if (filled_ > 0) {
            frame_->nb_samples = filled_;  // the encoder takes a short last frame
            if (std::string e = send(frame_); !e.empty()) return e;
        }
        if (std::string e = send(nullptr); !e.empty()) return e;
        if (const int rc = av_write_trailer(muxer_); rc < 0) return "the ADTS muxer failed: " + av_message(rc);
        avio_flush(muxer_->pb);
        return {};
    }

    // Encodes one frame (null: the end) and writes the packets it gives.
    std::string send(AVFrame *frame) {
        if (frame != nullptr) {
            frame->pts = pts_;
            pts_ += frame->nb_samples;
            filled_ = 0;
        }
        if (const int rc = avcodec_send_frame(codec_, frame); rc < 0) return "the AAC encoder failed: " + av_message(rc);
        for (;;) {
            const int rc = avcodec_receive_packet(codec_, packet_);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
            if (rc < 0) return "the AAC encoder failed: " + av_message(rc);
            packet_->stream_index = 0;
            const int written = av_write_frame(muxer_, packet_);
            av_packet_unref(packet_);
            if (written < 0) return "the ADTS muxer failed: " + av_message(written);
        }
        avio_flush(muxer_->pb);
        return {};
    }

    static int written(void *self, std::uint8_t *bytes, int size) {
        auto &e = *static_cast<AacEncoder *>(self);
        e.held_.append(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(size));
        return size;
    }

    AVCodecContext *codec_ = nullptr;
    AVFormatContext *muxer_ = nullptr;
    AVFrame *frame_ = nullptr;
    AVPacket *packet_ = nullptr;
    int filled_ = 0;
    std::int64_t pts_ = 0;
    std::string held_;  // muxed, not yet handed out
};

}  // namespace

std::unique_ptr<AudioEncoder> make_aac_encoder(unsigned rate, std::string &error) {
    return opened_encoder<AacEncoder>(rate, error);
}

}  // namespace tts_server
