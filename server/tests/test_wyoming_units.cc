// SPDX-License-Identifier: Apache-2.0
// Wyoming's parts: the event reader's limits, the sentence splitter, and
// the voices' locales.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "wyoming/event_stream.h"
#include "wyoming/sentence_splitter.h"
#include "wyoming/voice_catalogue.h"

namespace {

using namespace tts_server::wyoming;

// Reads one event from `bytes` (the writer then closes).
ReadStatus read_one(const std::string &bytes, Event &event, std::string &error, Limits limits = {}) {
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    EXPECT_EQ(write(sv[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(sv[1]);
    EventReader reader(sv[0], limits);
    const ReadStatus st = reader.read(event, std::chrono::milliseconds(1000));
    error = reader.error();
    close(sv[0]);
    return st;
}

TEST(WyomingEvents, ReaderMergesDataAndRefusesWhatBreaksTheLimits) {
    const Limits small{100, 20, 10};
    struct Case {
        std::string bytes;
        ReadStatus status;
        std::string text;     // the merged data's "text" for an event
        std::string payload;  // or the start of the error
    };
    const std::vector<Case> cases = {
        {"{\"type\":\"synthesize\",\"data\":{\"text\":\"a\"}}\n", ReadStatus::kEvent, "a", ""},
        {"{\"type\":\"synthesize\",\"data\":{\"text\":\"a\"},\"data_length\":12}\n{\"text\":\"b\"}", ReadStatus::kEvent, "b", ""},
        {"{\"type\":\"audio-chunk\",\"payload_length\":3}\nxyz", ReadStatus::kEvent, "", "xyz"},
        {"{\"type\":\"x\",\"data_length\":21}\n", ReadStatus::kMalformed, "", "data_length 21 is over the limit of 20"},
        {"{\"type\":\"x\",\"payload_length\":11}\n", ReadStatus::kMalformed, "", "payload_length 11 is over"},
        {"{\"type\":\"x\",\"payload_length\":-1}\n", ReadStatus::kMalformed, "", "payload_length must be"},
        {"{\"type\":\"x\",\"data_length\":\"5\"}\n", ReadStatus::kMalformed, "", "data_length must be"},
        {"{\"type\":\"" + std::string(100, 'x') + "\"}\n", ReadStatus::kMalformed, "", "the header line is longer"},
        {std::string(200, 'x'), ReadStatus::kMalformed, "", "the header line is longer"},
        {"{\"type\":\"x\",\"payload_length\":5}\nab", ReadStatus::kMalformed, "", "the connection ended inside"},
        {"{\"type\":\"x\"", ReadStatus::kMalformed, "", "the connection ended inside"},
        {"{\"type\":\"x\",\"data_length\":2}\n[]", ReadStatus::kMalformed, "", "the additional data is not"},
        {"{\"type\":7}\n", ReadStatus::kMalformed, "", "the header has no type"},
        {"", ReadStatus::kClosed, "", ""},
    };
    for (const auto &c : cases) {
        Event e;
        std::string error;
        EXPECT_EQ(read_one(c.bytes, e, error, small), c.status) << c.bytes.substr(0, 60);
        if (c.status == ReadStatus::kEvent) {
            EXPECT_EQ(e.data.value("text", ""), c.text);
            EXPECT_EQ(e.payload, c.payload);
        } else {
            EXPECT_EQ(error.rfind(c.payload, 0), 0u) << error;
        }
    }
}

TEST(WyomingEvents, EncodedEventsReadBack) {
    const std::string bytes = encode_event("audio-chunk", {{"rate", 16000}}, std::string("\0\1\n", 3)) + encode_event("audio-stop");
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    ASSERT_EQ(write(sv[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    EventReader reader(sv[0], {});
    Event e;
    ASSERT_EQ(reader.read(e, std::chrono::milliseconds(1000)), ReadStatus::kEvent);
    EXPECT_EQ(e.type, "audio-chunk");
    EXPECT_EQ(e.data["rate"], 16000);
    EXPECT_EQ(e.payload, std::string("\0\1\n", 3));
    ASSERT_EQ(reader.read(e, std::chrono::milliseconds(1000)), ReadStatus::kEvent);
    EXPECT_EQ(e.type, "audio-stop");
    EXPECT_EQ(reader.read(e, std::chrono::milliseconds(50)), ReadStatus::kTimeout);
    close(sv[0]);
    close(sv[1]);
}

// Pieces (cut anywhere, bytes included) -> the sentences given out after
// each piece, and what finish() leaves.
TEST(WyomingSentences, SentencesAreGivenOutOnceTheyAreComplete) {
    struct Case {
        std::vector<std::string> pieces;
        std::vector<std::vector<std::string>> after;
        std::string rest;
    };
    const std::string hao = "好";  // three bytes
    const std::vector<Case> cases = {
        {{"今天很好。", "明天"}, {{}, {"今天很好。"}}, "明天"},
        {{"今天很", hao.substr(0, 1), hao.substr(1) + "。", hao.substr(0, 2), hao.substr(2)},
         {{}, {}, {}, {}, {"今天很好。"}}, "好"},
        {{"他说：“走吧！”", "然后"}, {{}, {"他说：“走吧！”"}}, "然后"},
        {{"真的？！", "嗯"}, {{}, {"真的？！"}}, "嗯"},
        {{"Hello there. How", " are you? Fine"}, {{"Hello there."}, {" How are you?"}}, " Fine"},
        {{"Pi is 3.14 today.", " Yes"}, {{}, {"Pi is 3.14 today."}}, " Yes"},
        {{"Wait...", " ok"}, {{}, {"Wait..."}}, " ok"},
        {{"one\ntwo"}, {{"one\n"}}, "two"},
        {{"<speak>一。二。", "三。</speak>"}, {{}, {}}, "<speak>一。二。三。</speak>"},
        {{"no end"}, {{}}, "no end"},
    };
    for (const auto &c : cases) {
        SentenceSplitter s;
        std::string all;
        for (std::size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(s.add(c.pieces[i]), c.after[i]) << c.pieces[0] << " piece " << i;
            all += c.pieces[i];
        }
        EXPECT_EQ(s.finish(), c.rest) << c.pieces[0];
        EXPECT_EQ(s.total(), all.size());
    }
    EXPECT_FALSE(speakable(" ... \n"));
    EXPECT_TRUE(speakable("好"));
    EXPECT_TRUE(speakable("a."));
}

TEST(WyomingVoices, LocalesAndTheVoiceForALanguage) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> locales = {
        {"cmn-latn-pinyin", {"zh_CN", "zh_TW", "zh_SG"}}, {"cmn", {"zh_CN", "zh_TW", "zh_SG"}}, {"yue", {"zh_HK"}},
        {"en-us", {"en_US"}}, {"en-gb-scotland", {"en_GB"}}, {"es-419", {"es_419"}}, {"de", {"de"}},
        {"vi-vn-x-central", {"vi_VN"}}, {"fa-latn", {"fa"}}};
    for (const auto &[tag, want] : locales) EXPECT_EQ(locales_of(tag), want) << tag;

    const auto c = VoiceCatalogue::from_lines("xiaoxin\tcmn-latn-pinyin\nen-029\ten-029\nen\ten-gb\nen-US\ten-us\ncmn\tcmn\nfr\tfr-fr\n");
    const std::vector<std::pair<std::string, std::string>> choices = {
        {"zh_CN", "xiaoxin"}, {"zh-cn", "xiaoxin"}, {"ZH_TW", "xiaoxin"}, {"zh", "xiaoxin"}, {"en_US", "en-US"},
        {"en-GB", "en"}, {"en", "en"}, {"fr_FR", "fr"}, {"fr_CA", "fr"}, {"xx", ""}, {"", ""}};
    for (const auto &[language, voice] : choices) EXPECT_EQ(c.for_language(language).value_or(""), voice) << language;
    EXPECT_TRUE(c.has("en-US"));
    EXPECT_FALSE(c.has("en-us"));
}

}  // namespace
