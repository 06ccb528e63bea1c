// SPDX-License-Identifier: Apache-2.0
// The module's protocol handling against the exchanges of speech-dispatcher's
// manual, and the pieces a message is made into.
#include <gtest/gtest.h>

#include <unistd.h>

#include "audio_block.h"
#include "key_names.h"
#include "line_reader.h"
#include "module_config.h"
#include "module_protocol.h"
#include "ssml_marks.h"
#include "tts_backend.h"

namespace sd_tts {
namespace {

struct Spoken {
    MessageKind kind;
    std::string message;
    VoiceSettings settings;
};

// Records what the protocol asks of the synthesis side.
class RecordingBackend : public ModuleBackend {
  public:
    bool init(std::vector<std::string> &info, std::string &error) override {
        info.push_back("ready");
        error = "no engine";
        return init_ok;
    }
    std::vector<Voice> voices() override { return {{"xiaoxin", "zh", "cmn"}, {"en", "en", "none"}}; }
    void speak(MessageKind kind, const std::string &message, const VoiceSettings &settings) override {
        spoken.push_back({kind, message, settings});
    }
    void settle() override { ++settles; }
    void stop() override { ++stops; }
    void pause() override { ++pauses; }

    bool init_ok = true;
    std::vector<Spoken> spoken;
    int stops = 0;
    int pauses = 0;
    int settles = 0;
};

struct Exchange {
    std::string written;
    ModuleOutput out{[this](std::string_view s) {
        written.append(s);
        return true;
    }};
    RecordingBackend backend;
    ModuleProtocol protocol{out, backend};

    // Feeds the lines and returns what the module answered to them.
    std::string feed(const std::vector<std::string> &lines) {
        written.clear();
        for (const std::string &l : lines) protocol.line(l);
        return written;
    }
};

TEST(Protocol, DocumentedExchanges) {
    struct Case {
        const char *what;
        std::vector<std::string> in;
        std::string out;
    };
    const Case cases[] = {
        {"init", {"INIT"}, "299-ready\n299 OK LOADED SUCCESSFULLY\n"},
        {"audio", {"AUDIO", "audio_output_method=server", "."},
         "207 OK RECEIVING AUDIO SETTINGS\n203 OK AUDIO INITIALIZED\n"},
        {"log level", {"LOGLEVEL", "log_level=3", "."}, "207 OK RECEIVING LOGLEVEL SETTINGS\n203 OK LOGLEVEL SET\n"},
        {"set", {"SET", "rate=20", "pitch=-10", "pitch_range=50", "punctuation_mode=all", "spelling_mode=on",
                 "punctuation_some=NULL", "."},
         "203 OK RECEIVING SETTINGS\n203 OK SETTINGS RECEIVED\n"},
        {"voices", {"LIST VOICES"}, "200-xiaoxin\tzh\tcmn\n200-en\ten\tnone\n200 OK VOICE LIST SENT\n"},
        {"speak", {"SPEAK", "<speak>", "Hello, GNU!", "</speak>", "."}, "202 OK RECEIVING MESSAGE\n200 OK SPEAKING\n"},
        {"stop has no reply", {"STOP"}, ""},
        {"pause has no reply", {"PAUSE"}, ""},
        {"unknown", {"SPEAK NOW PLEASE"}, "300 ERR UNKNOWN COMMAND\n"},
        {"blank", {"", "   "}, ""},
        {"quit", {"QUIT"}, "210 OK QUIT\n"},
    };
    for (const Case &c : cases) {
        Exchange x;
        if (std::string(c.what) != "init") x.feed({"INIT"});
        EXPECT_EQ(x.feed(c.in), c.out) << c.what;
    }
}

TEST(Protocol, MessageIsTheLinesBetweenTheCommandAndTheDotUnstuffed) {
    Exchange x;
    x.feed({"INIT", "SPEAK", "<speak>", "..", "...x", ".y", "</speak>\r", ".", "CHAR", "a", ".", "KEY", "shift_a", ".",
            "SOUND_ICON", "bell", "."});
    ASSERT_EQ(x.backend.spoken.size(), 4u);
    EXPECT_EQ(x.backend.settles, 4);
    EXPECT_EQ(x.backend.spoken[0].message, "<speak>\n.\n..x\n.y\n</speak>");
    EXPECT_EQ(x.backend.spoken[0].kind, MessageKind::text);
    EXPECT_EQ(x.backend.spoken[1].kind, MessageKind::character);
    EXPECT_EQ(x.backend.spoken[1].message, "a");
    EXPECT_EQ(x.backend.spoken[2].kind, MessageKind::key);
    EXPECT_EQ(x.backend.spoken[3].kind, MessageKind::sound_icon);
}

TEST(Protocol, SettingsApplyToLaterMessagesAndBadValuesAreIgnored) {
    Exchange x;
    x.feed({"INIT", "SET", "rate=250", "pitch=abc", "volume=-40", "language=zh-CN", "voice=MALE1", "spelling_mode=maybe",
            "cap_let_recogn=spell", "garbage", ".", "SPEAK", "<speak>x</speak>", "."});
    ASSERT_EQ(x.backend.spoken.size(), 1u);
    const VoiceSettings &s = x.backend.spoken[0].settings;
    EXPECT_EQ(s.rate, 100);
    EXPECT_EQ(s.pitch, 0);
    EXPECT_EQ(s.volume, -40);
    EXPECT_EQ(s.language, "zh-CN");
    EXPECT_EQ(s.voice_type, "male1");
    EXPECT_FALSE(s.spelling);
    EXPECT_EQ(s.capitals, CapitalLetters::spell);
    x.feed({"SET", "language=NULL", "."});
    EXPECT_EQ(x.protocol.settings().language, "");
}

TEST(Protocol, StopPauseAndQuitReachTheBackend) {
    Exchange x;
    x.feed({"INIT", "STOP", "pause"});
    EXPECT_EQ(x.backend.stops, 1);
    EXPECT_EQ(x.backend.pauses, 1);
    EXPECT_FALSE(x.protocol.line("QUIT"));
    EXPECT_EQ(x.backend.stops, 2);
}

TEST(Protocol, RefusalsKeepTheModuleAnswering) {
    Exchange x;
    x.backend.init_ok = false;
    EXPECT_EQ(x.feed({"INIT"}), "399-no engine\n399 ERR CANT INIT MODULE\n");
    EXPECT_EQ(x.feed({"SPEAK", "<speak>x</speak>", "."}), "202 OK RECEIVING MESSAGE\n401 ERR NOT INITIALIZED\n");
    x.backend.init_ok = true;
    x.feed({"INIT"});
    const std::string big(ModuleProtocol::kMaxMessage / 2 + 1, 'x');
    EXPECT_EQ(x.feed({"SPEAK", big, big, "."}), "202 OK RECEIVING MESSAGE\n301 ERR MESSAGE TOO LONG\n");
    EXPECT_TRUE(x.backend.spoken.empty());
    EXPECT_EQ(x.feed({"LIST VOICES"}).substr(0, 4), "200-");
}

TEST(AudioBlock, EscapesLineEndsAndTheEscapeByte) {
    const std::string raw("a\n}\x5d\x2a\0z", 7);
    const std::string escaped = escape_audio(raw);
    EXPECT_EQ(escaped, std::string("a}\x2a}\x5d\x5d\x2a\0z", 9));
    EXPECT_EQ(escaped.find('\n'), std::string::npos);
    std::string back;
    ASSERT_TRUE(unescape_audio(escaped, back));
    EXPECT_EQ(back, raw);
    EXPECT_FALSE(unescape_audio("ab}", back));
}

TEST(AudioBlock, EventCarriesFormatAndSampleCount) {
    const std::string pcm("\x0a\x00\x7d\x01\x05", 5);
    const std::string event = audio_event(pcm, 16000);
    const std::string head =
        "705-bits=16\n705-num_channels=1\n705-sample_rate=16000\n705-num_samples=2\n705-big_endian=0\n705-AUDIO";
    ASSERT_EQ(event.substr(0, head.size()), head);
    EXPECT_EQ(event.substr(head.size()), std::string("\0}\x2a\0}\x5d\x01\n705 AUDIO\n", 18));
}

TEST(Marks, SplitsIntoDocumentsThatKeepTheirElements) {
    std::string warning;
    const auto parts = split_at_marks(
        "<speak xml:lang=\"zh\"><prosody rate=\"fast\">你好<mark name=\"__spd_1\"/>世界</prosody>"
        "<mark name=\"b\"></mark><s>再见</s><mark name=\"end\"/> </speak>",
        warning);
    EXPECT_EQ(warning, "");
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[0].document, "<speak xml:lang=\"zh\"><prosody rate=\"fast\">你好</prosody></speak>");
    EXPECT_EQ(parts[0].mark_after, "__spd_1");
    EXPECT_EQ(parts[1].document, "<speak xml:lang=\"zh\"><prosody rate=\"fast\">世界</prosody></speak>");
    EXPECT_EQ(parts[1].mark_after, "b");
    EXPECT_EQ(parts[2].document, "<speak xml:lang=\"zh\"><s>再见</s></speak>");
    EXPECT_EQ(parts[2].mark_after, "end");
    EXPECT_TRUE(parts[2].has_mark);
    EXPECT_EQ(parts[3].document, "");  // only blanks after the last mark
    EXPECT_FALSE(parts[3].has_mark);
}

TEST(Marks, MarksWithNothingBetweenAndMalformedMessages) {
    std::string warning;
    auto parts = split_at_marks("<speak><mark name=\"a\"/><mark name=\"b\"/>x &amp; y</speak>", warning);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].document, "");
    EXPECT_EQ(parts[1].document, "");
    EXPECT_EQ(parts[1].mark_after, "b");
    EXPECT_EQ(parts[2].document, "<speak>x &amp; y</speak>");

    for (const char *bad : {"<speak>a <b</speak>", "plain words", "<!DOCTYPE speak [<!ENTITY e \"x\">]><speak>&e;</speak>"}) {
        parts = split_at_marks(bad, warning);
        ASSERT_EQ(parts.size(), 1u) << bad;
        EXPECT_FALSE(parts[0].is_ssml) << bad;
        EXPECT_EQ(parts[0].document, bad);
        EXPECT_NE(warning, "") << bad;
    }
}

TEST(Voices, ListedWithMandarinFirstAndChosenByLanguage) {
    const auto voices = voices_from_list("af\taf\nen\ten\nen-us\ten-us\nxiaoxin\tcmn\nyue\tyue\n");
    ASSERT_EQ(voices.size(), 5u);
    EXPECT_EQ(voices[0].name, "xiaoxin");
    EXPECT_EQ(voices[0].language, "zh");
    EXPECT_EQ(voices[0].variant, "cmn");
    struct Case {
        const char *language;
        const char *synthesis_voice;
        const char *voice;
    };
    const Case cases[] = {
        {"zh", "", "xiaoxin"},    {"zh-CN", "", "xiaoxin"}, {"cmn", "", "xiaoxin"}, {"", "", "xiaoxin"},
        {"en", "", "en"},         {"en-US", "", "en-us"},   {"en-GB", "", "en"},    {"EN_us", "", "en-us"},
        {"yue", "", "yue"},       {"zh-HK", "", "yue"},     {"zh-yue", "", "yue"},  {"xx", "", "xiaoxin"},
        {"zh", "af", "af"},       {"zh", "nope", "xiaoxin"},
    };
    for (const Case &c : cases) {
        VoiceSettings s;
        s.language = c.language;
        s.synthesis_voice = c.synthesis_voice;
        EXPECT_EQ(choose_voice(s, voices), c.voice) << c.language << " " << c.synthesis_voice;
    }
}

TEST(Voices, LevelsMapOntoTheServiceRange) {
    const std::pair<int, int> cases[] = {{-100, 0}, {-200, 0}, {0, 50}, {50, 75}, {100, 100}, {300, 100}};
    for (const auto &[in, out] : cases) EXPECT_EQ(service_level(in), out) << in;
    VoiceSettings s;
    ASSERT_TRUE(s.apply("rate=100"));
    ASSERT_TRUE(s.apply("volume=-100"));
    EXPECT_EQ(session_params(s, "xiaoxin", true),
              "voice_name = xiaoxin, text_encoding = utf8, sample_rate = 16000, speed = 100, pitch = 50, volume = 0, "
              "text_type = ssml");
    // The server's volume 100, its default and ours, is the engine's normal
    // loudness; lower volumes scale it down.
    for (const auto &[set, level] : {std::pair<const char *, const char *>{"", "volume = 50"}, {"volume=100", "volume = 50"},
                                     {"volume=0", "volume = 25"}}) {
        VoiceSettings v;
        if (*set != '\0') {
            ASSERT_TRUE(v.apply(set));
        }
        EXPECT_NE(session_params(v, "xiaoxin", false).find(level), std::string::npos) << set;
    }
}

TEST(KeyNames, CharactersAndKeysAsScreenReadersSayThem) {
    SpellingStyle zh;
    SpellingStyle en{false, true};
    struct Case {
        std::string doc;
        std::string expected;
    };
    const Case cases[] = {
        {char_document("行", zh), "<speak>行</speak>"},
        {char_document("a", zh), "<speak><say-as interpret-as=\"characters\">a</say-as></speak>"},
        {char_document("A", en), "<speak>capital <say-as interpret-as=\"characters\">A</say-as></speak>"},
        {char_document(",", zh), "<speak>逗号</speak>"},
        {char_document("<", en), "<speak>less than</speak>"},
        {char_document(" ", en), "<speak>space</speak>"},
        {char_document("\x01", en), "<speak></speak>"},
        {key_document("space", zh), "<speak>空格</speak>"},
        {key_document("shift_a", en), "<speak>shift <say-as interpret-as=\"characters\">a</say-as></speak>"},
        {key_document("control_alt_delete", en), "<speak>control alt delete</speak>"},
        {key_document("_", en), "<speak>underscore</speak>"},
        {key_document("f12", en), "<speak>F 12</speak>"},
        {key_document("kp-enter", zh), "<speak>小键盘 回车</speak>"},
        {key_document("kp-5", en), "<speak>keypad <say-as interpret-as=\"characters\">5</say-as></speak>"},
        {key_document("a<b&c", en), "<speak>a b c</speak>"},
        {spelled_document("a,中", zh),
         "<speak><say-as interpret-as=\"characters\">a</say-as>，逗号，中</speak>"},
    };
    for (const Case &c : cases) EXPECT_EQ(c.doc, c.expected);
}

TEST(Jobs, MarksSpellingAndCharBecomeStretches) {
    const std::vector<Voice> voices = {{"xiaoxin", "zh", "cmn"}, {"en", "en", "none"}};
    VoiceSettings s;
    ModuleConfig config;
    SpeechJob job = make_job(MessageKind::text, "<speak>一<mark name=\"m\"/>二</speak>", s, voices, config);
    ASSERT_EQ(job.utterances.size(), 2u);
    EXPECT_EQ(job.utterances[0].mark_after, "m");
    EXPECT_NE(job.utterances[0].params.find("text_type = ssml"), std::string::npos);
    EXPECT_NE(job.utterances[0].params.find("voice_name = xiaoxin"), std::string::npos);

    s.language = "en";
    s.spelling = true;
    job = make_job(MessageKind::text, "<speak>ab</speak>", s, voices, config);
    ASSERT_EQ(job.utterances.size(), 1u);
    EXPECT_NE(job.utterances[0].text.find("interpret-as=\"characters\">b<"), std::string::npos);
    EXPECT_NE(job.utterances[0].params.find("voice_name = en"), std::string::npos);

    job = make_job(MessageKind::character, "<speak>?</speak>", s, voices, config);
    EXPECT_EQ(job.utterances.at(0).text, "<speak>question mark</speak>");
    job = make_job(MessageKind::text, "not <ssml", s, voices, config);
    EXPECT_NE(job.utterances.at(0).params.find("text_type = ssml"), std::string::npos);  // spelt
    s.spelling = false;
    job = make_job(MessageKind::text, "not <ssml", s, voices, config);
    EXPECT_NE(job.utterances.at(0).params.find("text_type = text"), std::string::npos);
    job = make_job(MessageKind::sound_icon, "bell", s, voices, config);
    EXPECT_EQ(job.icon, "bell");
    EXPECT_TRUE(job.utterances.empty());
}

TEST(Config, OptionalOptionsAndWarnings) {
    std::vector<std::string> warnings;
    ModuleConfig c = parse_config("", warnings);
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(c.lexicons, "");
    c = parse_config("# comment\n  TtsLexicons \"/a.pls:/b.pls\"\nTtsMaxMessageSeconds 30\nAddVoice x\n"
                     "TtsMaxMessageSeconds 0\nTtsLexicons \"/a,b.pls\"\n",
                     warnings);
    EXPECT_EQ(c.lexicons, "/a.pls:/b.pls");
    EXPECT_EQ(c.max_message_seconds, 30);
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_NE(warnings[0].find("line 4"), std::string::npos);
}

TEST(LineReader, LinesAreBoundedAndTheLastOneKept) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const std::string input = "one\n" + std::string(100, 'x') + "\n\nlast";
    ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    close(fds[1]);
    LineReader reader(fds[0], 10);
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line)) lines.push_back(line);
    close(fds[0]);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "xxxxxxxxxx", "", "last"}));
}

}  // namespace
}  // namespace sd_tts
