// SPDX-License-Identifier: Apache-2.0
// The host's pronunciation lexicons through the real library: their
// entries win over the built-in lexicon in plain text and SSML, longest
// first, later lexicons over earlier ones; a lexicon that does not parse
// fails with its file, line and column.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "service_client.h"
#include "speech_service.h"

namespace {

// A folder of lexicon files, removed at the end.
class LexiconDir {
  public:
    LexiconDir() {
        char dir[] = "/tmp/lexicon-test-XXXXXX";
        if (mkdtemp(dir) != nullptr) dir_ = dir;
    }
    ~LexiconDir() {
        for (const std::string &f : files_) std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string write(const std::string &name, const std::string &content) {
        const std::string path = dir_ + "/" + name;
        FILE *f = std::fopen(path.c_str(), "w");
        if (f != nullptr) {
            std::fputs(content.c_str(), f);
            std::fclose(f);
        }
        files_.push_back(path);
        return path;
    }

  private:
    std::string dir_;
    std::vector<std::string> files_;
};

std::string pls(const std::string &lexemes, const std::string &alphabet = "x-pinyin") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lexicon version=\"1.0\" "
           "xmlns=\"http://www.w3.org/2005/01/pronunciation-lexicon\" alphabet=\"" +
           alphabet + "\" xml:lang=\"zh-CN\">\n" + lexemes + "</lexicon>\n";
}

std::string lexeme(const std::string &grapheme, const std::string &phoneme) {
    return "<lexeme><grapheme>" + grapheme + "</grapheme><phoneme>" + phoneme + "</phoneme></lexeme>\n";
}

int read(const std::string &params, const std::string &text, std::string &table) {
    char *out = nullptr;
    const int rc = speech_service_reading(params.c_str(), text.data(), static_cast<unsigned>(text.size()), &out);
    table = out != nullptr ? out : "";
    speech_service_free(out);
    return rc;
}

TEST(Lexicons, EntriesWinLongestFirstInPlainTextAndSsml) {
    LexiconDir dir;
    const std::string first = dir.write(
        "first.pls", pls(lexeme("重庆", "zhong4 qing4") + lexeme("银行", "yin2 xing2") +
                         lexeme("银行行长", "yin2 hang2 hang2 zhang3") + lexeme("乐", "le4") +
                         "<lexeme><grapheme>WHO</grapheme><grapheme>世卫</grapheme><alias>世界卫生组织</alias></lexeme>\n"));
    const std::string later = dir.write("later.pls", pls(lexeme("乐", "yue4")));
    const std::string params = "rdn = 0, lexicons = " + first + ":" + later;
    struct Case {
        std::string text, line, absent;
    };
    const std::vector<Case> cases = {
        {"去重庆", "重庆\tzhong4 qing4\n", ""},
        {"银行行长", "银行行长\tyin2 hang2 hang2 zhang3\n", ""},
        {"去银行", "银行\tyin2 xing2\n", ""},
        {"WHO说", "WHO\tshi4 jie4 wei4 sheng1 zu3 zhi1\n", ""},
        {"世卫", "世卫\tshi4 jie4 wei4 sheng1 zu3 zhi1\n", ""},
        {"WHOM", "WHOM\ten:W.H.O.M.\n", "shi4"},
        {"音乐", "乐\tyue4\n", ""},
    };
    for (const Case &c : cases) {
        for (const std::string &text : {c.text, "<speak>" + c.text + "</speak>"}) {
            std::string table;
            ASSERT_EQ(read(params, text, table), SPEECH_OK) << speech_service_last_markup_message();
            EXPECT_NE(table.find(c.line), std::string::npos) << text << "\n" << table;
            if (!c.absent.empty()) {
                EXPECT_EQ(table.find(c.absent), std::string::npos) << text << "\n" << table;
            }
        }
    }
    std::string table;
    EXPECT_EQ(read(params, "<speak><lexicon uri=\"later.pls\"/>好</speak>", table), SPEECH_OK)
        << "a registered lexicon may be named by its file name";
    setenv("SPEECH_SERVICE_LEXICONS", first.c_str(), 1);
    EXPECT_EQ(read("rdn = 0", "重庆", table), SPEECH_OK);
    EXPECT_EQ(table, "重庆\tzhong4 qing4\n") << "registered by the environment";
    unsetenv("SPEECH_SERVICE_LEXICONS");
}

std::string utf8(char32_t c) {
    return {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
}

// A file large enough to be read in two halves at once (over 1 MiB), with
// graphemes given again in its second half: the later entry wins. Around
// its middle, where it is cut, it may hold a comment with a lexeme in it,
// which is no entry however the file is cut.
TEST(Lexicons, ALargeFileWithRepeatedGraphemesKeepsTheLaterEntry) {
    constexpr int kEntries = 16000;
    const char *syllables[] = {"ba1", "ma3", "shi4", "guo2"};
    auto grapheme = [](int i) { return utf8(U'\u4E00' + i % 1000) + utf8(U'\u7000' + i / 1000); };
    auto reading = [&](int i) { return std::string(syllables[i % 4]) + " " + syllables[i / 4 % 4]; };
    auto repeated = [](int i) { return i % 7 == 0; };
    std::string first, second;
    for (int i = 0; i < kEntries; ++i) (i < kEntries / 2 ? first : second) += lexeme(grapheme(i), reading(i));
    for (int i = 0; i < kEntries; ++i)
        if (repeated(i)) second += lexeme(grapheme(i), "zhong1 " + std::string(syllables[i % 4]));
    const std::string hidden = "<!-- " + std::string(4096, ' ') + "</lexeme>\n" + lexeme("藏", "ka3") + " -->\n";
    // The halves' sizes alike, so that the middle falls in the comment.
    const std::size_t pad = first.size() < second.size() ? second.size() - first.size() : 0;
    const std::string padded = first + std::string(pad, '\n') + "<!-- padding -->\n";
    std::string text = "藏。", want;
    for (int i = 0; i < kEntries; i += 13) {
        text += grapheme(i) + "。";
        want += grapheme(i) + "\t" + (repeated(i) ? "zhong1 " + std::string(syllables[i % 4]) : reading(i)) + "\n";
    }
    LexiconDir dir;
    for (const bool with_comment : {false, true}) {
        const std::string path =
            dir.write(with_comment ? "commented.pls" : "large.pls", pls((with_comment ? padded + hidden : first) + second));
        std::string table;
        ASSERT_EQ(read("rdn = 0, lexicons = " + path, text, table), SPEECH_OK) << speech_service_last_markup_message();
        std::string found;  // the table's lines of the graphemes, without those of the stops
        for (std::size_t at = 0; at < table.size();) {
            const std::size_t end = table.find('\n', at) + 1;
            if (table.compare(at, 3, "。") != 0) found += table.substr(at, end - at);
            at = end;
        }
        const std::size_t first_line = found.find('\n') + 1;
        EXPECT_EQ(found.substr(0, first_line).find("ka3"), std::string::npos) << "a lexeme in a comment counted";
        EXPECT_EQ(found.substr(first_line), want) << path;
    }
}

// `n` lexemes, one a line.
std::string many_lexemes(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += lexeme(utf8(U'\u4E00' + i % 1000) + utf8(U'\u7000' + i / 1000), "ba1 ma3");
    return out;
}

TEST(Lexicons, OneThatDoesNotParseFailsTheBeginWithItsPlace) {
    LexiconDir dir;
    struct Case {
        std::string content, message;
    };
    const std::vector<Case> cases = {
        {pls("<lexeme><grapheme>好</grapheme>\n<phoneme>hao3</lexeme>"), "line 4, column 16: mismatched tag"},
        {pls(lexeme("好", "hao3"), "ipa"), "alphabet is not x-pinyin"},
        {pls("<lexeme><grapheme>好</grapheme></lexeme>"), "without a phoneme or an alias"},
        {pls("<lexeme><phoneme>hao3</phoneme></lexeme>"), "without a grapheme"},
        {pls(lexeme("好", "hao")), "is not tone-numbered pinyin"},
        {"<!DOCTYPE lexicon [<!ENTITY x SYSTEM \"/etc/hostname\">]>" + pls("&x;"), "not allowed"},
        // Large enough to be read in halves: the place is still the whole file's.
        {pls(many_lexemes(16000) + "<lexeme><grapheme>好</grapheme></lexeme>\n"), "line 16003, column 31: a lexeme without"},
    };
    ASSERT_EQ(MSPLogin(nullptr, nullptr, service_test::kLogin), SPEECH_OK);
    int n = 0;
    for (const Case &c : cases) {
        const std::string path = dir.write("bad" + std::to_string(n++) + ".pls", c.content);
        std::string table;
        EXPECT_EQ(read("lexicons = " + path, "好", table), SPEECH_ERR_BAD_LEXICON) << c.content;
        const std::string message = speech_service_last_markup_message();
        EXPECT_EQ(message.rfind(path + ": line ", 0), 0u) << message;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        int code = 0;
        EXPECT_EQ(QTTSSessionBegin(("lexicons = " + path).c_str(), &code), nullptr);
        EXPECT_EQ(code, SPEECH_ERR_BAD_LEXICON);
    }
    std::string table;
    EXPECT_EQ(read("lexicons = /no/such/file.pls", "好", table), SPEECH_ERR_BAD_LEXICON);
    EXPECT_NE(std::string(speech_service_last_markup_message()).find("/no/such/file.pls"), std::string::npos);
    MSPLogout();
}

// Runs `body` in a child process: true when it returns true within
// `seconds` (the child is ended by SIGALRM otherwise).
bool in_child_within(unsigned seconds, const std::function<bool()> &body) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(seconds);
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long peak_rss_kib() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
}

// Lexicons made to exhaust the reader: each is read in bounded time and
// memory, or refused at once.
TEST(Lexicons, HostileFilesAreReadInBoundedTimeAndMemory) {
    LexiconDir dir;
    std::string long_grapheme, text, shared_phoneme, graphemes;
    for (int i = 0; i < 10000; ++i) long_grapheme += "啊";
    for (int i = 0; i < 6000; ++i) text += "啊";
    for (int i = 0; i < 50000; ++i) shared_phoneme += "ba1 ";
    for (int i = 0; i < 1000; ++i) graphemes += "<grapheme>" + utf8(U'\u4E00' + i) + "</grapheme>";
    const std::string fifo = dir.write("fifo.pls", "");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        const char *what;
        std::string path, text;
        int rc;
        long most_kib;  // the most the reading may add to the peak memory
    } const cases[] = {
        // A FIFO would block the open until a writer came.
        {"a FIFO", fifo, "你好", SPEECH_ERR_BAD_LEXICON, 1L << 20},
        // A 30 KB grapheme: every position of the text once, not every length at each.
        {"a long grapheme", dir.write("long.pls", pls(lexeme(long_grapheme, "a1"))), text, SPEECH_OK, 1L << 20},
        // 1000 graphemes of one lexeme share its 200 KB reading, stored once.
        {"a shared reading",
         dir.write("shared.pls", pls("<lexeme>" + graphemes + "<phoneme>" + shared_phoneme + "</phoneme></lexeme>\n")),
         "好", SPEECH_OK, 64L << 10},
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(in_child_within(10, [&] {
            const long before = peak_rss_kib();
            std::string table;
            const int rc = read("lexicons = " + c.path, c.text, table);
            return rc == c.rc && peak_rss_kib() - before < c.most_kib;
        })) << c.what;
    }
    std::remove(fifo.c_str());
}

// Graphemes of every length from 1 to 40 of one character: the longest
// that fits is taken each time, also when many shorter ones match too.
TEST(Lexicons, TheLongestOfManyMatchingLengthsWins) {
    LexiconDir dir;
    std::string lexemes, g;
    for (int n = 1; n <= 40; ++n) lexemes += lexeme(g += "啊", "a" + std::to_string(n % 4 + 1));
    std::string text;
    for (int i = 0; i < 90; ++i) text += "啊";
    std::string table;
    ASSERT_EQ(read("lexicons = " + dir.write("lengths.pls", pls(lexemes)), text, table), SPEECH_OK);
    std::string forty, ten;
    for (int i = 0; i < 40; ++i) forty += "啊";
    for (int i = 0; i < 10; ++i) ten += "啊";
    EXPECT_EQ(table, forty + "\ta1\n" + forty + "\ta1\n" + ten + "\ta3\n");
}

}  // namespace
