// SPDX-License-Identifier: Apache-2.0
// The request of the engine protocol (engine_protocol.h): written by the
// service, read incrementally by the helper.
#ifndef SPEECH_ENGINE_REQUEST_H
#define SPEECH_ENGINE_REQUEST_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace speech {

// Engine values: words per minute, amplitude 0..200, pitch 0..100, and the
// output rate in Hz.
struct EngineSettings {
    int rate = 175;
    int volume = 100;
    int pitch = 50;
    int sample_rate = 16000;
};

// A segment is text for one voice, or a silence. A text segment may carry
// its own engine values (a prosody change); unset, the request's hold.
struct RequestSegment {
    std::string voice;
    std::string text;
    int silence_ms = 0;  // a silence: no voice, no text
    int rate = 0;        // 0: the request's
    int volume = -1;     // -1: the request's
    int pitch = -1;      // -1: the request's
    bool end_pause = true;  // the engine's pause after it (none before a silence)

    bool own_settings() const { return rate != 0 || volume >= 0 || pitch >= 0 || !end_pause; }
};

struct EngineRequest {
    EngineSettings settings;
    std::vector<RequestSegment> segments;
};

// Writing a request: the head, then each segment, then the end.
void append_request_head(std::string &out, const EngineSettings &settings);
void append_request_segment(std::string &out, std::string_view voice, std::string_view text);
void append_request_segment(std::string &out, const RequestSegment &segment);
void append_request_end(std::string &out);

// Reads a request from the bytes fed to it, in pieces of any size.
class RequestReader {
  public:
    enum Status { kMore, kDone, kBad };

    // Takes bytes; kDone once the end line is read (the rest of `data` is
    // not used), kBad on a malformed request (see error()).
    Status feed(const char *data, std::size_t len);
    // No byte of a request has come yet.
    bool untouched() const { return !started_ && line_.empty(); }
    const EngineRequest &request() const { return request_; }
    EngineRequest &request() { return request_; }
    const std::string &error() const { return error_; }

  private:
    Status line_done();
    Status bad(std::string why);

    EngineRequest request_;
    std::string line_;
    std::size_t text_left_ = 0;  // bytes of the current segment still to come
    bool in_text_ = false;
    bool started_ = false;
    Status status_ = kMore;
    std::string error_;
};

}  // namespace speech

#endif  // SPEECH_ENGINE_REQUEST_H
