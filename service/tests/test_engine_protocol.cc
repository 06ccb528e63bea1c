// SPDX-License-Identifier: Apache-2.0
// The engine protocol's two readers: the helper's request reader and the
// service's output reader, fed in pieces of every size; and the stderr
// line keeper.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "engine_output.h"
#include "engine_protocol.h"
#include "engine_request.h"
#include "last_line.h"

namespace {

std::string frame(char kind, const std::string &payload) {
    std::string f(1, kind);
    for (int i = 0; i < 4; ++i) f += static_cast<char>(payload.size() >> (8 * i));
    return f + payload;
}

std::string end_frame(int result, const std::string &message) {
    std::string p;
    for (int i = 0; i < 4; ++i) p += static_cast<char>(static_cast<unsigned>(result) >> (8 * i));
    return frame(speech::kFrameEnd, p + message);
}

struct Collect : speech::EngineOutput::Sink {
    std::string audio_bytes;
    void audio(const char *data, std::size_t len) override { audio_bytes.append(data, len); }
};

TEST(EngineRequest, WrittenRequestsReadBackWhateverThePieces) {
    speech::EngineSettings settings{450, 0, 100, 8000};
    std::string req;
    speech::append_request_head(req, settings);
    speech::append_request_segment(req, "cmn-latn-pinyin", "你好\nend\n");
    speech::append_request_segment(req, "en", "");
    speech::append_request_segment(req, "en", "text en 5\n");
    speech::append_request_end(req);
    req += "trailing bytes are not read";
    for (std::size_t piece : {std::size_t(1), std::size_t(3), std::size_t(7), req.size()}) {
        speech::RequestReader reader;
        auto status = speech::RequestReader::kMore;
        for (std::size_t at = 0; at < req.size() && status == speech::RequestReader::kMore; at += piece)
            status = reader.feed(req.data() + at, std::min(piece, req.size() - at));
        ASSERT_EQ(status, speech::RequestReader::kDone) << piece << ": " << reader.error();
        const auto &r = reader.request();
        EXPECT_EQ(r.settings.rate, 450);
        EXPECT_EQ(r.settings.volume, 0);
        EXPECT_EQ(r.settings.pitch, 100);
        EXPECT_EQ(r.settings.sample_rate, 8000);
        ASSERT_EQ(r.segments.size(), 3u);
        EXPECT_EQ(r.segments[0].voice, "cmn-latn-pinyin");
        EXPECT_EQ(r.segments[0].text, "你好\nend\n") << "text is counted, not scanned";
        EXPECT_EQ(r.segments[1].text, "");
        EXPECT_EQ(r.segments[2].text, "text en 5\n");
    }
}

TEST(EngineRequest, SilencesAndSegmentsWithTheirOwnSettingsReadBack) {
    speech::RequestSegment slow{"en", "slow"};
    slow.rate = 90;
    slow.volume = 150;
    slow.pitch = 20;
    slow.end_pause = false;
    speech::RequestSegment silence;
    silence.silence_ms = 750;
    std::string req;
    speech::append_request_head(req, speech::EngineSettings{});
    for (const auto &s : {slow, silence, speech::RequestSegment{"en", "plain"}}) speech::append_request_segment(req, s);
    speech::append_request_end(req);
    speech::RequestReader reader;
    ASSERT_EQ(reader.feed(req.data(), req.size()), speech::RequestReader::kDone) << reader.error();
    const auto &segs = reader.request().segments;
    ASSERT_EQ(segs.size(), 3u);
    EXPECT_EQ(std::make_tuple(segs[0].text, segs[0].rate, segs[0].volume, segs[0].pitch, segs[0].end_pause),
              std::make_tuple(std::string("slow"), 90, 150, 20, false));
    EXPECT_EQ(segs[1].silence_ms, 750);
    EXPECT_FALSE(segs[2].own_settings());
    EXPECT_EQ(segs[2].text, "plain");
}

TEST(EngineRequest, MalformedRequestsAreRefused) {
    const std::vector<std::string> bad = {
        "TTSREQ2\nend\n",          "TTSREQ3\nrate 79\nend\n",     "TTSREQ3\nrate 451\nend\n",
        "TTSREQ3\nvolume -1\nend\n", "TTSREQ3\npitch 1x\nend\n",   "TTSREQ3\nsample_rate 4000\nend\n",
        "TTSREQ3\ntext en\nend\n",  "TTSREQ3\ntext  3\nabcend\n", "TTSREQ3\ntext en 3x\nabcend\n",
        "TTSREQ3\nspeed 5\nend\n",  "TTSREQ3\nsilence 0\nend\n", "TTSREQ3\nsilence 60001\nend\n", "TTSREQ3\ntext en 1 79 100 50 1\nxend\n",
        "TTSREQ3\ntext en 1 175 100 50\nxend\n",  "TTSREQ3\n" + std::string(300, 'x') + "\n",
    };
    for (const auto &r : bad) {
        speech::RequestReader reader;
        EXPECT_EQ(reader.feed(r.data(), r.size()), speech::RequestReader::kBad) << r;
        EXPECT_FALSE(reader.error().empty());
    }
    speech::RequestReader unfinished;
    const std::string part = "TTSREQ3\ntext en 10\nabc";
    EXPECT_EQ(unfinished.feed(part.data(), part.size()), speech::RequestReader::kMore);
}

TEST(EngineOutput, AudioAndTheEndFrameWhateverThePieces) {
    const std::string stream = std::string(speech::kEngineMagic) + frame('a', "abcd") + frame('a', "") +
                               frame('a', std::string(3000, 'x')) + end_frame(5, "synthesis failed");
    for (std::size_t piece : {std::size_t(1), std::size_t(2), std::size_t(5), stream.size()}) {
        speech::EngineOutput out;
        Collect sink;
        for (std::size_t at = 0; at < stream.size(); at += piece)
            ASSERT_TRUE(out.feed(stream.data() + at, std::min(piece, stream.size() - at), sink)) << piece;
        EXPECT_TRUE(out.ready());
        ASSERT_TRUE(out.ended());
        EXPECT_EQ(out.result(), 5);
        EXPECT_EQ(out.message(), "synthesis failed");
        EXPECT_EQ(sink.audio_bytes, "abcd" + std::string(3000, 'x'));
        EXPECT_EQ(out.audio_bytes(), 3004u);
    }
}

TEST(EngineOutput, BrokenStreamsAreRefusedAndTruncatedOnesNeverEnd) {
    const std::string magic = speech::kEngineMagic;
    struct Case {
        std::string stream;
        bool accepted;  // feed() takes it
        bool ended;
    };
    const std::vector<Case> cases = {
        {"TTSPCM2\n", false, false},
        {"RIFF", false, false},
        {magic + frame('x', "ab"), false, false},
        {magic + std::string("a\x01\x00\x10\x00", 5), false, false},  // above the largest frame
        {magic + frame('e', "abc"), false, false},                      // no room for the result
        {magic + end_frame(0, "") + frame('a', "ab"), false, true},     // nothing may follow the end
        {magic + frame('a', "abcd"), true, false},                      // cut before the end frame
        {magic + frame('a', "abcd").substr(0, 7), true, false},         // cut inside a frame
        {magic + end_frame(0, "").substr(0, 6), true, false},           // cut inside the end frame
        {magic + end_frame(0, ""), true, true},
    };
    for (const Case &c : cases) {
        speech::EngineOutput out;
        Collect sink;
        EXPECT_EQ(out.feed(c.stream.data(), c.stream.size(), sink), c.accepted) << c.stream;
        EXPECT_EQ(out.ended(), c.ended) << c.stream;
    }
}

TEST(LastLine, KeepsTheLastNonEmptyLineBounded) {
    struct Case {
        std::vector<std::string> pieces;
        std::string last;
    };
    const std::vector<Case> cases = {
        {{}, ""},
        {{"one\ntwo\n"}, "two"},
        {{"one\ntw", "o\n\n\n"}, "two"},
        {{"one\r\n", "unfinished"}, "unfinished"},
        {{std::string(2000, 'x') + "\n"}, std::string(512, 'x')},
    };
    for (const Case &c : cases) {
        speech::LastLine line;
        for (const auto &p : c.pieces) line.feed(p.data(), p.size());
        EXPECT_EQ(line.get(), c.last);
    }
}

}  // namespace
