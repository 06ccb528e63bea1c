// SPDX-License-Identifier: Apache-2.0
// tts-say as a user runs it: a process with the real libraries and engine.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "console.h"

using testing_support::read_file;
using testing_support::TempDir;

namespace {

struct Outcome {
    int exit_code;
    std::string out, err;
};

// Runs tts-say with `args` (shell words) in `dir`, stdin from `input`.
Outcome tts_say(const TempDir &dir, const std::string &args, const std::string &input = "",
            const std::string &env = "") {
    testing_support::write_file(dir.path("in.txt"), input);
    const std::string cmd = "cd '" + dir.path("") + "' && " + env + " '" TTS_SAY "' " + args +
                            " < in.txt > stdout.txt 2> stderr.txt";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir.path("stdout.txt")),
            read_file(dir.path("stderr.txt"))};
}

struct WavInfo {
    bool ok;
    int rate, channels, format;
    long long frames;
};

WavInfo wav_info(const std::string &path) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) return {false, 0, 0, 0, 0};
    sf_close(f);
    return {true, info.samplerate, info.channels, info.format, static_cast<long long>(info.frames)};
}

TEST(TtsSay, SpeaksItsArgumentsIntoAWavFileWithTheLibrarysDialogue) {
    TempDir dir;
    const Outcome r = tts_say(dir, "你好， 世界。");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("login_status is 0 \n", 0), 0u);
    EXPECT_NE(r.out.find("正在合成 ...\n\n按任意键退出 ...\n"), std::string::npos)
        << "a short text is fetched in one go, without a pause";
    const WavInfo w = wav_info(dir.path("tts.wav"));
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.rate, 16000);
    EXPECT_EQ(w.channels, 1);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_GT(w.frames, 16000 / 2);
    EXPECT_LT(w.frames, 16000 * 5);
}

TEST(TtsSay, ArgumentsFileAndStandardInputGiveTheSameSpeech) {
    TempDir dir;
    testing_support::write_file(dir.path("text.txt"), "春眠 不觉晓");
    ASSERT_EQ(tts_say(dir, "-o a.wav 春眠 不觉晓").exit_code, 0);
    ASSERT_EQ(tts_say(dir, "-o b.wav -f text.txt").exit_code, 0);
    ASSERT_EQ(tts_say(dir, "-o c.wav", "春眠 不觉晓").exit_code, 0);
    const std::string a = read_file(dir.path("a.wav"));
    EXPECT_GT(a.size(), 44u);
    EXPECT_EQ(read_file(dir.path("b.wav")), a);
    EXPECT_EQ(read_file(dir.path("c.wav")), a);
}

TEST(TtsSay, UsageErrorsExitTwoAndHelpAndVersionExitZero) {
    TempDir dir;
    const std::vector<std::pair<const char *, const char *>> cases = {
        {"--bogus", "unknown option --bogus"},
        {"-x hi", "unknown option -x"},
        {"-o", "option -o needs a value"},
        {"-f text.txt words", "give the text either as arguments or with -f, not both"},
        {"-s 101 hi", "option -s takes a whole number from 0 to 100, not '101'"},
        {"-p -1 hi", "option -p takes a whole number from 0 to 100"},
        {"-a x hi", "option -a takes a whole number from 0 to 100"},
        {"--rdn 3 hi", "option --rdn takes a whole number from 0 to 2"},
        {"--rdn", "option --rdn needs a value"},
        {"-r 44100 hi", "option -r takes 16000 or 8000"},
        {"-v Alex hi", "unknown voice Alex (see tts-say --voices)"},
        {"-v mb-de1 hi", "unknown voice mb-de1"},
        {"-v 'en, speed = 100' hi", "unknown voice en, speed = 100"},
        {"--quiet -Zq hi", "unknown option -Z"},
        {"--voices -qZ hi", "unknown option -Z"},
        {"--quiet=yes hi", "option --quiet takes no value"},
        {"--readers hi", "--readers goes with --pinyin"},
    };
    for (const auto &c : cases) {
        const Outcome r = tts_say(dir, c.first);
        EXPECT_EQ(r.exit_code, 2) << c.first;
        EXPECT_NE(r.err.find(std::string("tts-say: ") + c.second), std::string::npos) << c.first << ": " << r.err;
        EXPECT_NE(r.err.find("usage: tts-say [OPTION]... [TEXT...]"), std::string::npos);
        EXPECT_FALSE(testing_support::file_exists(dir.path("tts.wav"))) << c.first;
    }
    for (const char *help_option : {"--help", "-h"}) {
        const Outcome help = tts_say(dir, help_option);
        EXPECT_EQ(help.exit_code, 0);
        EXPECT_NE(help.out.find("usage: tts-say"), std::string::npos);
        EXPECT_NE(help.out.find("--quiet"), std::string::npos);
    }
    for (const char *version_option : {"--version", "-V"}) {
        const Outcome version = tts_say(dir, version_option);
        EXPECT_EQ(version.exit_code, 0);
        EXPECT_EQ(version.out, "tts-say " TTS_VERSION "\n");
    }
}

TEST(TtsSay, FailuresExitOneWithTheirMeaning) {
    TempDir dir;
    const Outcome engine = tts_say(dir, "hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(engine.exit_code, 1);
    EXPECT_NE(engine.err.find("tts-say: the speech engine reported an error (code 21015)"), std::string::npos);
    EXPECT_NE(engine.out.find("QTTSAudioGet failed, error code: 21015.\n"), std::string::npos);

    const Outcome no_file = tts_say(dir, "-f nosuch.txt");
    EXPECT_EQ(no_file.exit_code, 1);
    EXPECT_NE(no_file.err.find("cannot read nosuch.txt"), std::string::npos);
}

TEST(TtsSay, OutputPathErrorsNameTheSystemsReason) {
    TempDir dir;
    testing_support::write_file(dir.path("plain"), "x");
    ASSERT_EQ(::mkdir(dir.path("folder").c_str(), 0755), 0);
    const std::vector<std::pair<const char *, const char *>> cases = {
        {"missing/x.wav", "No such file or directory"},
        {"plain/x.wav", "Not a directory"},
        {"folder", "Is a directory"},
    };
    for (const auto &c : cases) {
        for (const char *quiet : {"", "-q "}) {
            const Outcome r = tts_say(dir, std::string(quiet) + "-o " + c.first + " hello");
            EXPECT_EQ(r.exit_code, 1) << c.first;
            EXPECT_EQ(r.err, std::string("tts-say: cannot write ") + c.first + ": " + c.second + "\n");
            EXPECT_EQ(r.out, "") << "nothing was tried, so the library said nothing";
        }
    }
    if (::geteuid() != 0) {  // root may write anywhere
        ASSERT_EQ(::mkdir(dir.path("locked").c_str(), 0555), 0);
        const Outcome r = tts_say(dir, "-o locked/x.wav hello");
        EXPECT_EQ(r.err, "tts-say: cannot write locked/x.wav: Permission denied\n");
    }
}

TEST(TtsSay, ATextThatCannotBeSpokenFailsBeforeAnythingIsWritten) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.path("folder").c_str(), 0755), 0);
    testing_support::write_file(dir.path("latin1.txt"), "caf\xE9");
    testing_support::write_file(dir.path("nul.txt"), std::string("a\0b", 3));
    std::vector<std::pair<std::string, std::string>> cases = {
        {"-f folder", "tts-say: cannot read folder: Is a directory\n"},
        {"-f nosuch.txt", "tts-say: cannot read nosuch.txt: No such file or directory\n"},
        {"-f latin1.txt", "tts-say: latin1.txt is not valid UTF-8\n"},
        {"-f nul.txt", "tts-say: nul.txt contains a NUL byte\n"},
        {"$(printf 'caf\\351')", "tts-say: the text is not valid UTF-8\n"},
    };
    if (::geteuid() != 0) {
        testing_support::write_file(dir.path("secret.txt"), "你好");
        ::chmod(dir.path("secret.txt").c_str(), 0);
        cases.push_back({"-f secret.txt", "tts-say: cannot read secret.txt: Permission denied\n"});
    }
    for (const auto &c : cases) {
        const Outcome fresh = tts_say(dir, "-o new.wav " + c.first);
        EXPECT_EQ(fresh.exit_code, 1) << c.first;
        EXPECT_EQ(fresh.err, c.second);
        EXPECT_FALSE(testing_support::file_exists(dir.path("new.wav"))) << c.first;
        testing_support::write_file(dir.path("old.wav"), "keep me");
        EXPECT_EQ(tts_say(dir, "-o old.wav " + c.first).exit_code, 1);
        EXPECT_EQ(read_file(dir.path("old.wav")), "keep me") << c.first;
    }
    const Outcome piped = tts_say(dir, "-f - -o new.wav", "caf\xE9");
    EXPECT_EQ(piped.err, "tts-say: standard input is not valid UTF-8\n");
}

TEST(TtsSay, ABlankTextWritesAnEmptyWavAndSaysSo) {
    TempDir dir;
    for (const char *text : {"", "  \t\n", "\xE3\x80\x80 "}) {
        const Outcome r = tts_say(dir, "-q -f - -o blank.wav", text);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err, "tts-say: the text is blank: wrote an empty WAV to blank.wav\n");
        const std::string wav = read_file(dir.path("blank.wav"));
        ASSERT_EQ(wav.size(), 44u);
        EXPECT_EQ(testing_support::le32(wav, 4), 36u);
        EXPECT_EQ(testing_support::le32(wav, 40), 0u);
    }
}

TEST(TtsSay, QuietHidesTheDialogueAndStandardOutputGetsTheSameWavAsAFile) {
    TempDir dir;
    const Outcome file = tts_say(dir, "-q -o file.wav 你好");
    EXPECT_EQ(file.exit_code, 0);
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(file.err, "");

    const Outcome piped = tts_say(dir, "-o - 你好");
    EXPECT_EQ(piped.exit_code, 0);
    EXPECT_TRUE(piped.out == read_file(dir.path("file.wav"))) << "the WAV alone, the same bytes";
    EXPECT_EQ(piped.err.rfind("login_status is 0 \n", 0), 0u) << "the dialogue goes to standard error";
    EXPECT_NE(piped.err.find("按任意键退出 ...\n"), std::string::npos);

    const Outcome quiet = tts_say(dir, "-q -o - -f -", "你好");
    EXPECT_TRUE(quiet.out == piped.out);
    EXPECT_EQ(quiet.err, "");

    const Outcome failed = tts_say(dir, "-q -o - hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(failed.out, "") << "no WAV on standard output when the text was not spoken";
    EXPECT_NE(failed.err.find("tts-say: the speech engine reported an error (code 21015); the engine said: tts-engine: synthesis failed\n"), std::string::npos);
}

TEST(TtsSay, VoiceAndAudioSettingsReachTheServiceAndTheHeader) {
    TempDir dir;
    ASSERT_EQ(tts_say(dir, "-q -o plain.wav 你好世界12").exit_code, 0);
    const std::string plain = read_file(dir.path("plain.wav"));
    for (const char *options : {"-v en", "-s 90", "-p 10", "-a 20", "--rdn 0", "--voice=yue --speed=10"}) {
        const Outcome r = tts_say(dir, std::string("-q -o set.wav ") + options + " 你好世界12");
        EXPECT_EQ(r.exit_code, 0) << options << r.err;
        EXPECT_TRUE(read_file(dir.path("set.wav")) != plain) << options;
    }
    ASSERT_EQ(tts_say(dir, "-q -s 0 -o slow.wav 你好世界12").exit_code, 0);
    EXPECT_GT(wav_info(dir.path("slow.wav")).frames, wav_info(dir.path("plain.wav")).frames);

    ASSERT_EQ(tts_say(dir, "-q -r 8000 -o low.wav 你好世界12").exit_code, 0);
    const WavInfo low = wav_info(dir.path("low.wav"));
    EXPECT_EQ(low.rate, 8000);
    const std::string low_bytes = read_file(dir.path("low.wav"));
    EXPECT_EQ(testing_support::le32(low_bytes, 28), 16000u) << "byte rate";
    const long long plain_frames = wav_info(dir.path("plain.wav")).frames;
    EXPECT_NEAR(static_cast<double>(low.frames) * 2, static_cast<double>(plain_frames), plain_frames * 0.02)
        << "the same duration at half the rate";

    // The caller's own host parameters apply, and the options win over them.
    const Outcome env = tts_say(dir, "-q -s 50 -o env.wav 你好世界12", "", "SPEECH_SERVICE_SESSION_PARAMS='speed = 0'");
    EXPECT_EQ(env.exit_code, 0);
    EXPECT_TRUE(read_file(dir.path("env.wav")) == plain);
    ASSERT_EQ(tts_say(dir, "-q -o env.wav 你好世界12", "", "SPEECH_SERVICE_SESSION_PARAMS='speed = 0'").exit_code, 0);
    EXPECT_TRUE(read_file(dir.path("env.wav")) == read_file(dir.path("slow.wav")));
}

TEST(TtsSay, ListsTheVoicesWithXiaoxinFirst) {
    TempDir dir;
    const Outcome r = tts_say(dir, "--voices");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind("xiaoxin\tcmn-latn-pinyin\n", 0), 0u);
    EXPECT_NE(r.out.find("\nen\ten-gb\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Alex"), std::string::npos);
}

// A loop that reads its lines from the same standard input as tts-say.
TEST(TtsSay, NeverEatsTheStandardInputOfAReadLoop) {
    TempDir dir;
    const std::string lines = "你好\n世界\n再见\n";
    testing_support::write_file(dir.path("lines.txt"), lines);
    for (const char *quiet : {"", "-q"}) {
        const std::string script = "cd '" + dir.path("") + "' && rm -f seen.txt && n=0 && "
                                   "while read line; do n=$((n+1)); echo \"$line\" >> seen.txt; '" TTS_SAY "' " +
                                   quiet + " -o $n.wav \"$line\" > /dev/null || exit 1; done < lines.txt";
        ASSERT_EQ(std::system(script.c_str()), 0) << quiet;
        EXPECT_EQ(read_file(dir.path("seen.txt")), lines) << quiet;
        EXPECT_GT(wav_info(dir.path("3.wav")).frames, 0) << quiet;
    }
}

TEST(TtsSay, SpeaksWithStandardInputClosed) {
    TempDir dir;
    const std::string cmd = "cd '" + dir.path("") + "' && '" TTS_SAY "' -q -o closed.wav 你好 <&-";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_GT(wav_info(dir.path("closed.wav")).frames, 0);
}

// At a terminal the library's closing key wait must not wait for a key.
TEST(TtsSay, DoesNotWaitForAKeyAtATerminal) {
    TempDir dir;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave_name = ::ptsname(master);
    const std::string out = dir.path("tty.wav");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setsid();
        const int slave = ::open(slave_name.c_str(), O_RDWR);  // becomes the controlling terminal
        if (slave < 0) ::_exit(127);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        ::execl(TTS_SAY, TTS_SAY, "-o", out.c_str(), "你好", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    // Read the terminal until tts-say has gone; a bound against a hang only.
    std::string screen;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    bool exited = false;
    while (!exited && std::chrono::steady_clock::now() < give_up) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) screen.append(buf, static_cast<std::size_t>(n));
        }
        exited = ::waitpid(pid, &status, WNOHANG) == pid;
    }
    if (!exited) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(master);
    ASSERT_TRUE(exited) << "tts-say waited at the terminal; it printed:\n" << screen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
    EXPECT_NE(screen.find("按任意键退出 ..."), std::string::npos) << "the prompt is still printed";
    EXPECT_GT(wav_info(out).frames, 0);
}

}  // namespace

TEST(TtsSay, PinyinPrintsTheReadingTableUnderTheLibrarysParametersAndWritesNoAudio) {
    TempDir dir;
    // The library asks for rdn = 2: digits one by one; --rdn and the host's
    // parameters change that as they change a session.
    const std::string text = "我們去銀行，存120元。";
    const std::string expected2 =
        "我們\two3 men5\n去\tqu4\n銀行\tyin2 hang2\n，\t\n存\tcun2\n120\tyi1 er4 ling2\n元\tyuan2\n。\t\n";
    const Outcome r = tts_say(dir, "--pinyin -f -", text);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, expected2);
    EXPECT_FALSE(testing_support::file_exists(dir.path("tts.wav")));
    const Outcome values = tts_say(dir, "--pinyin --rdn 1 120元");
    EXPECT_EQ(values.out, "120\tyi4 bai3 er4 shi2\n元\tyuan2\n");
    const Outcome host = tts_say(dir, "--pinyin 120元", "", "SPEECH_SERVICE_SESSION_PARAMS='rdn = 1'");
    EXPECT_EQ(host.out, values.out);

    const Outcome readers = tts_say(dir, "--pinyin --readers 咳血");
    EXPECT_EQ(readers.out, "咳血\tke2 xie3\tmodel=1.00 word\n") << "who decided each syllable";

    const Outcome english = tts_say(dir, "--pinyin -v en 你好 world 42");
    EXPECT_EQ(english.out, "你好\ten:你好\nworld\ten:world\n42\ten:4 2\n") << "the text as that voice is given it";

    const Outcome bad = tts_say(dir, "--pinyin -f in.txt", "\xff\xfe");
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_TRUE(bad.out.empty());
}

TEST(TtsSay, SsmlTextAndLexiconOptionsAndTheRefusalsTheyMeet) {
    TempDir dir;
    testing_support::write_file(
        dir.path("names.pls"),
        "<lexicon version=\"1.0\" alphabet=\"x-pinyin\"><lexeme><grapheme>重庆</grapheme>"
        "<phoneme>zhong4 qing4</phoneme></lexeme></lexicon>");
    testing_support::write_file(dir.path("bad.pls"), "<lexicon alphabet=\"x-pinyin\">\n<lexeme>");
    struct Case {
        std::string args, input;
        int exit_code;
        std::string out, err;  // what the output is, and what standard error holds
    };
    const std::vector<Case> cases = {
        {"--pinyin -f -", "<speak>好<break time=\"1s\"/></speak>", 0, "好\thao3\n\tsilence:1000ms\n", ""},
        {"--pinyin --text -f -", "<speak/>", 0, "<\t\nspeak\ten:speak\n/\t\n>\t\n", ""},
        {"--pinyin --ssml 好", "", 1, "", "SSML line 1, column 1: syntax error"},
        {"--pinyin --lexicon names.pls 去重庆", "", 0, "去\tqu4\n重庆\tzhong4 qing4\n", ""},
        {"--pinyin --lexicon bad.pls 好", "", 1, "", "bad.pls: line 2, column 9: no element found"},
        {"-q -f -", "<speak>\n<break time=\"soon\"/></speak>", 1, "",
         "the SSML document was refused: SSML line 2, column 1: bad time \"soon\" on break"},
        {"--ssml --text 好", "", 2, "", "give --ssml or --text, not both"},
        {"--lexicon a:b 好", "", 2, "", "option --lexicon takes a file name without"},
    };
    for (const Case &c : cases) {
        const Outcome r = tts_say(dir, c.args, c.input);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.args << ": " << r.err;
        if (c.args.find("--pinyin") != std::string::npos) {
            EXPECT_EQ(r.out, c.out) << c.args;
        }
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    }
    const Outcome spoken = tts_say(dir, "-q --lexicon names.pls -o doc.wav", "<speak><lexicon uri=\"names.pls\"/>重庆</speak>");
    EXPECT_EQ(spoken.exit_code, 0) << spoken.err;
    EXPECT_GT(wav_info(dir.path("doc.wav")).frames, 0);
}

TEST(TtsSay, AFailedSessionShowsTheEnginesLastWordOnStandardError) {
    TempDir dir;
    const Outcome r = tts_say(dir, "hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("; the engine said: tts-engine: synthesis failed\n"), std::string::npos) << r.err;
}

namespace {

// The names in the folder `path`.
std::set<std::string> names_in(const std::string &path) {
    std::set<std::string> names;
    if (DIR *d = ::opendir(path.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// Starts tts-say in `cwd` with `args` and `env` ("NAME=VALUE") added, its
// standard output into `out_path`, standard input and error on /dev/null.
pid_t start_tts_say(const std::string &cwd, const std::vector<std::string> &args, const std::string &out_path,
                    const std::vector<std::string> &env = {}) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    for (int sig : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) ::signal(sig, SIG_DFL);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (::chdir(cwd.c_str()) != 0 || out < 0 || null_fd < 0) ::_exit(127);
    ::dup2(null_fd, 0);
    ::dup2(out, 1);
    ::dup2(null_fd, 2);
    for (const std::string &e : env) ::putenv(const_cast<char *>(e.c_str()));
    std::vector<char *> argv{const_cast<char *>(TTS_SAY)};
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(TTS_SAY, argv.data());
    ::_exit(127);
}

// The wait status of `pid`, or -1 when it still runs after `seconds` (it
// is then killed): a bound against a hang only.
int wait_bounded(pid_t pid, int seconds) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < give_up) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

bool await_audio(pid_t pid, const std::string &folder) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (testing_support::audio_files_being_written(pid, folder) == 0) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string long_text(int sentences) {
    std::string text;
    for (int i = 0; i < sentences; ++i) text += "春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    return text;
}

bool header_agrees_with_length(const std::string &wav) {
    return wav.size() >= 44 && testing_support::le32(wav, 4) == wav.size() - 8 &&
           testing_support::le32(wav, 40) == wav.size() - 44;
}

}  // namespace

// Stopped half way, even outright, tts-say leaves the old file and no
// temporary file, and ends as the signal ends a process.
TEST(TtsSay, ASignalLeavesTheOutputAsItWasAndNoTemporaryFile) {
    const struct {
        const char *output;
        int sig;
    } cases[] = {{"old.wav", SIGINT}, {"old.wav", SIGTERM}, {"old.wav", SIGHUP}, {"old.wav", SIGKILL},
                 {"-", SIGINT}, {"-", SIGTERM}, {"-", SIGKILL}};
    for (const auto &c : cases) {
        TempDir dir;
        ASSERT_EQ(::mkdir(dir.path("out").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(dir.path("tmp").c_str(), 0755), 0);
        testing_support::write_file(dir.path("out/old.wav"), "keep me");
        const pid_t pid = start_tts_say(dir.path("out"), {"-o", c.output, "你好"}, dir.path("stdout.bin"),
                                        {"TMPDIR=" + dir.path("tmp"), "SPEECH_SERVICE_ENGINE=" ENDLESS_ENGINE});
        const bool writing = await_audio(pid, dir.path(""));
        ::kill(pid, c.sig);
        const int status = wait_bounded(pid, 20);
        ASSERT_TRUE(writing) << c.output;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << c.output << " " << c.sig << ": " << status;
        EXPECT_TRUE(read_file(dir.path("out/old.wav")) == "keep me") << c.output;
        EXPECT_EQ(names_in(dir.path("out")), std::set<std::string>{"old.wav"}) << c.output;
        EXPECT_EQ(names_in(dir.path("tmp")), std::set<std::string>{}) << c.output;
        EXPECT_EQ(read_file(dir.path("stdout.bin")).size(), 0u) << c.output;
    }
    // The reader of standard output goes away before the WAV is all read.
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.path("tmp").c_str(), 0755), 0);
    const std::string cmd = "cd '" + dir.path("") + "' && { TMPDIR=tmp '" TTS_SAY "' -q -o - " + long_text(5) +
                            "; echo $? > status.txt; } | head -c 10 > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(dir.path("status.txt")), std::to_string(128 + SIGPIPE) + "\n");
    EXPECT_EQ(names_in(dir.path("tmp")), std::set<std::string>{});
}

// A folder that takes no new file (read-only for us; for root, immutable)
// holding a file we may write: the file gets the whole WAV, as a plain write
// would give it, and a failed engine leaves it as it was.
TEST(TtsSay, AWritableFileInAFolderThatTakesNoNewFileIsWritten) {
    TempDir dir;
    ASSERT_EQ(tts_say(dir, "-q -o ref.wav 你好").exit_code, 0);
    const std::string wav = read_file(dir.path("ref.wav"));
    const std::string fixed = dir.path("fixed");
    ASSERT_EQ(::mkdir(fixed.c_str(), 0755), 0);
    testing_support::write_file(fixed + "/out.wav", "keep me");
    const bool root = ::geteuid() == 0;
    const std::string lock = root ? "chattr +i '" + fixed + "' 2>/dev/null" : "chmod 555 '" + fixed + "'";
    if (std::system(lock.c_str()) != 0) GTEST_SKIP() << "cannot make a folder that takes no new file here";
    struct Unlock {
        std::string cmd;
        ~Unlock() { [[maybe_unused]] const int rc = std::system(cmd.c_str()); }
    } unlock{root ? "chattr -i '" + fixed + "'" : "chmod 755 '" + fixed + "'"};

    const Outcome failed = tts_say(dir, "-o fixed/out.wav hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(read_file(fixed + "/out.wav"), "keep me");
    const Outcome r = tts_say(dir, "-q -o fixed/out.wav 你好");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_TRUE(read_file(fixed + "/out.wav") == wav);
    EXPECT_EQ(names_in(fixed), std::set<std::string>{"out.wav"});
}

// A second run starting while the first writes: the file ends as one of
// the two whole WAVs.
TEST(TtsSay, TwoRunsWritingOneFileLeaveOneWholeWav) {
    TempDir dir;
    const std::string long_one = long_text(100);
    ASSERT_EQ(tts_say(dir, "-q -o long.wav " + long_one).exit_code, 0);
    ASSERT_EQ(tts_say(dir, "-q -o short.wav 你好").exit_code, 0);
    const pid_t first = start_tts_say(dir.path(""), {"-q", "-o", "same.wav", long_one}, "/dev/null");
    ASSERT_TRUE(await_audio(first, dir.path("")));
    const pid_t second = start_tts_say(dir.path(""), {"-q", "-o", "same.wav", "你好"}, "/dev/null");
    EXPECT_EQ(wait_bounded(second, 60), 0);
    EXPECT_EQ(wait_bounded(first, 60), 0);
    const std::string same = read_file(dir.path("same.wav"));
    EXPECT_TRUE(header_agrees_with_length(same));
    EXPECT_TRUE(same == read_file(dir.path("long.wav")) || same == read_file(dir.path("short.wav")));
}

// Standard output under any name, a FIFO and a device get the whole WAV,
// or an error when closed; never a hang.
TEST(TtsSay, OutputsThatCannotSeekGetTheWholeWavOrAnError) {
    TempDir dir;
    ASSERT_EQ(tts_say(dir, "-q -o file.wav 你好").exit_code, 0);
    const std::string wav = read_file(dir.path("file.wav"));
    const struct {
        const char *args;  // with the redirection of standard output
        int exit_code;
        bool wav_out;
        const char *err;  // null: not checked
    } cases[] = {
        {"-q -o /dev/stdout 你好 > out.bin", 0, true, ""},
        {"-q -o /dev/fd/1 你好 > out.bin", 0, true, ""},
        {"-o /dev/stdout 你好 > out.bin", 0, true, nullptr},
        {"-q -o /dev/null 你好 > out.bin", 0, false, ""},
        {"-q -o - 你好 >&-", 1, false, "tts-say: cannot write standard output: it is closed\n"},
        {"-q -o /dev/stdout 你好 >&-", 1, false, "tts-say: cannot write /dev/stdout: it is closed\n"},
    };
    for (const auto &c : cases) {
        ::unlink(dir.path("out.bin").c_str());
        const std::string cmd = "cd '" + dir.path("") + "' && timeout 30 '" TTS_SAY "' " + c.args + " 2> err.txt";
        const int status = std::system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(status), c.exit_code) << c.args;
        const std::string out = read_file(dir.path("out.bin"));
        EXPECT_TRUE(c.wav_out ? out == wav : out.empty()) << c.args << ": " << out.size() << " bytes";
        if (c.err != nullptr) {
            EXPECT_EQ(read_file(dir.path("err.txt")), c.err) << c.args;
        }
    }

    ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0644), 0);
    std::string heard;
    std::thread reader([&] { heard = read_file(dir.path("fifo")); });
    const std::string cmd = "cd '" + dir.path("") + "' && timeout 30 '" TTS_SAY "' -q -o fifo 你好";
    const int status = std::system(cmd.c_str());
    const int release = ::open(dir.path("fifo").c_str(), O_WRONLY | O_NONBLOCK);  // a reader still waiting
    if (release >= 0) ::close(release);
    reader.join();
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(heard == wav) << heard.size() << " bytes";
}

// Every option wins over the caller's SPEECH_SERVICE_SESSION_PARAMS, and
// the header states the rate of the audio the session delivers.
TEST(TtsSay, OptionsWinOverTheEnvironmentAndTheHeaderStatesTheRate) {
    TempDir dir;
    const struct {
        const char *env, *options, *same_as;
        unsigned rate;
    } cases[] = {
        {"sample_rate = 8000", "-r 16000", "", 16000},
        {"sample_rate = 8000", "", "-r 8000", 8000},
        {"sample_rate = 16000", "-r 8000", "-r 8000", 8000},
        {"voice_name = en", "-v xiaoxin", "", 16000},
        {"speed = 0, pitch = 0, volume = 0", "-s 50 -p 50 -a 50", "", 16000},
        {"rdn = 0", "--rdn 2", "", 16000},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(tts_say(dir, std::string("-q -o ref.wav ") + c.same_as + " 你好世界12").exit_code, 0);
        const Outcome r = tts_say(dir, std::string("-q -o env.wav ") + c.options + " 你好世界12", "",
                                  std::string("SPEECH_SERVICE_SESSION_PARAMS='") + c.env + "'");
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::string wav = read_file(dir.path("env.wav"));
        ASSERT_GE(wav.size(), 44u);
        EXPECT_EQ(testing_support::le32(wav, 24), c.rate) << c.env << " " << c.options;
        EXPECT_TRUE(wav == read_file(dir.path("ref.wav"))) << c.env << " " << c.options;
    }
}

// The file is replaced only by a whole WAV, through symbolic links, with
// the mode a plain create gives or the mode the old file had.
TEST(TtsSay, AFileIsReplacedOnlyByAWholeWavThroughItsLinks) {
    TempDir dir;
    ASSERT_EQ(tts_say(dir, "-q -o ref.wav 你好").exit_code, 0);
    const std::string wav = read_file(dir.path("ref.wav"));
    const auto mode_of = [&](const char *name) {
        struct stat st {};
        return ::stat(dir.path(name).c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    const auto is_link = [&](const char *name) {
        struct stat st {};
        return ::lstat(dir.path(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    };

    EXPECT_EQ(tts_say(dir, "-q -o new.wav 你好", "", "umask 027 &&").exit_code, 0);
    EXPECT_EQ(mode_of("new.wav"), 0640u);
    testing_support::write_file(dir.path("old.wav"), "keep me");
    ASSERT_EQ(::chmod(dir.path("old.wav").c_str(), 0604), 0);
    EXPECT_EQ(tts_say(dir, "-q -o old.wav 你好").exit_code, 0);
    EXPECT_TRUE(read_file(dir.path("old.wav")) == wav);
    EXPECT_EQ(mode_of("old.wav"), 0604u);

    ASSERT_EQ(::symlink("nowhere.wav", dir.path("dangling.wav").c_str()), 0);
    testing_support::write_file(dir.path("target.wav"), "keep me");
    ASSERT_EQ(::symlink("target.wav", dir.path("link.wav").c_str()), 0);
    for (const char *link : {"dangling.wav", "link.wav"}) {
        const Outcome r = tts_say(dir, std::string("-q -o ") + link + " 你好");
        EXPECT_EQ(r.exit_code, 0) << link << ": " << r.err;
        EXPECT_TRUE(is_link(link)) << link;
        EXPECT_TRUE(read_file(dir.path(link)) == wav) << link;
    }

    testing_support::write_file(dir.path("old.wav"), "keep me");
    const Outcome failed = tts_say(dir, "-o old.wav hello", "", "SPEECH_SERVICE_ENGINE='" SPEECH_TEST_HELPERS "/fail.sh'");
    EXPECT_EQ(failed.exit_code, 1);
    EXPECT_EQ(read_file(dir.path("old.wav")), "keep me");
    for (const std::string &name : names_in(dir.path(""))) EXPECT_NE(name[0], '.') << name << " was left behind";
}
