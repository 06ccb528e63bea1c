// SPDX-License-Identifier: Apache-2.0
// tts-say --batch as a user runs it: the real binary, service and engine.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "console.h"

using nlohmann::json;
using testing_support::read_file;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

struct Outcome {
    int exit_code;
    std::string err;
};

// Runs tts-say with `args` (shell words) in `dir`, under the environment
// settings `env` ("A=1 B=2"), its standard input `stdin` (a redirection;
// default /dev/null); killed after a minute.
Outcome tts_say(const TempDir &dir, const std::string &args, const std::string &env = "",
                const std::string &stdin = "") {
    const std::string cmd = "cd '" + dir.path("") + "' && env -u SLURM_ARRAY_TASK_ID -u JOB_COMPLETION_INDEX " + env +
                            " timeout -s KILL 60 '" TTS_SAY "' " + args + " " + (stdin.empty() ? "< /dev/null" : stdin) +
                            " > /dev/null 2> stderr.txt";
    const int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir.path("stderr.txt"))};
}

// The results file's lines, each of which must be a JSON object.
std::vector<json> results(const std::string &path) {
    std::vector<json> out;
    const std::string text = read_file(path);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const json line = json::parse(text.substr(start, end - start), nullptr, false);
        EXPECT_TRUE(line.is_object()) << "not a JSON line: " << text.substr(start, end - start);
        if (line.is_object()) out.push_back(line);
    }
    EXPECT_EQ(start, text.size()) << "the last line is not ended";
    return out;
}

std::vector<std::string> names_in(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (e->d_name[0] != '.' || std::string(e->d_name).size() > 2) names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Batch, EveryWavEqualsWhatTtsSayWritesForTheItemAlone) {
    TempDir dir;
    struct Case {
        const char *id;
        const char *line;   // the manifest line
        const char *alone;  // tts-say's options for the same item
    } const cases[] = {
        {"zh", R"({"id": "zh", "text": "你好，世界。"})", "你好，世界。"},
        {"en", R"({"id": "en", "text": "Hello, world.", "voice": "en", "speed": 70})", "-v en -s 70 'Hello, world.'"},
        {"narrow", R"({"id": "narrow", "text": "请稍候", "sample_rate": 8000, "volume": 80})", "-r 8000 -a 80 请稍候"},
        {"digits", R"({"id": "digits", "text": "第3章，共120页", "rdn": 0, "pitch": 20})", "--rdn 0 -p 20 第3章，共120页"},
        {"tab", "tab\t今天天气很好", "今天天气很好"},
        {"6", R"({"text": "  "})", "'  '"},
        {"ssml", R"({"id": "ssml", "text": "<speak>你好<break time=\"300ms\"/>世界</speak>"})",
         R"('<speak>你好<break time="300ms"/>世界</speak>')"},
    };
    std::string manifest;
    for (const Case &c : cases) manifest += std::string(c.line) + "\n";
    write_file(dir.path("m.jsonl"), manifest);
    // The host's list applies to every item; the item's own settings win over it.
    const std::string env = "SPEECH_SERVICE_SESSION_PARAMS='speed = 30, pitch = 70'";
    ASSERT_EQ(tts_say(dir, "--batch m.jsonl -j 2", env).exit_code, 0) << read_file(dir.path("stderr.txt"));
    for (const Case &c : cases) {
        const std::string id = c.id;
        ASSERT_EQ(tts_say(dir, std::string("-q -o alone.wav ") + c.alone, env).exit_code, 0) << c.alone;
        EXPECT_EQ(read_file(dir.path(id + ".wav")), read_file(dir.path("alone.wav"))) << c.line;
    }
}

TEST(Batch, BadLinesFailTheirItemWithTheReasonAndTheRunGoesOn) {
    TempDir dir;
    struct Case {
        const char *id;      // as the results name the item
        const char *line;
        const char *reason;  // part of the reason; null for an item that is spoken
    } const cases[] = {
        {"good1", R"({"id": "good1", "text": "一"})", nullptr},
        {"2", "{not json", "not valid JSON"},
        {"3", "just words", "not a JSON object"},
        {"notext", R"({"id": "notext"})", "no text"},
        {"5", "{\"id\": \"latin1\", \"text\": \"caf\xe9\"}", "ill-formed UTF-8"},
        {"latin1tab", "latin1tab\tcaf\xe9", "not UTF-8"},
        {"voice", R"({"id": "voice", "text": "一", "voice": "nosuchvoice"})", "unknown voice"},
        {"fast", R"({"id": "fast", "text": "一", "speed": 101})", "speed must be"},
        {"half", R"({"id": "half", "text": "一", "pitch": 2.5})", "pitch must be"},
        {"rate", R"({"id": "rate", "text": "一", "sample_rate": 44100})", "sample_rate must be"},
        {"../up", R"({"id": "../up", "text": "一"})", "would leave"},
        {"abs", R"({"id": "abs", "text": "一", "output_file": "/tmp/abs.wav"})", "would leave"},
        {"up2", R"({"id": "up2", "text": "一", "output_file": "a/../../b.wav"})", "would leave"},
        {"good2", R"({"id": "good2", "text": "二", "output_file": "two.wav"})", nullptr},
    };
    std::string manifest;
    for (const Case &c : cases) manifest += std::string(c.line) + "\n";
    ::mkdir(dir.path("out").c_str(), 0777);
    write_file(dir.path("m.jsonl"), manifest);
    const Outcome r = tts_say(dir, "--batch m.jsonl -O out -j 2");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.err.find("12 of 14 items failed"), std::string::npos) << r.err;

    std::map<std::string, json> by_id;
    for (const json &line : results(dir.path("out/results.jsonl"))) by_id[line.value("id", "")] = line;
    ASSERT_EQ(by_id.size(), std::size(cases));
    for (const Case &c : cases) {
        ASSERT_EQ(by_id.count(c.id), 1u) << c.line;
        const json &line = by_id[c.id];
        EXPECT_EQ(line.value("status", ""), c.reason == nullptr ? "ok" : "failed") << c.line;
        if (c.reason != nullptr) {
            EXPECT_NE(line.value("reason", "").find(c.reason), std::string::npos) << line;
        }
    }
    EXPECT_TRUE(testing_support::file_exists(dir.path("out/good1.wav")));
    EXPECT_TRUE(testing_support::file_exists(dir.path("out/two.wav")));
    EXPECT_FALSE(testing_support::file_exists("/tmp/abs.wav"));
}

TEST(Batch, UsageErrorsExitWithTwo) {
    TempDir dir;
    write_file(dir.path("m.jsonl"), "a\t一\n");
    for (const char *args : {"--batch m.jsonl -o x.wav", "--batch m.jsonl --shard 3/3", "--batch m.jsonl -j 0",
                             "--batch m.jsonl words", "-O out 一", "--batch m.jsonl -v nosuchvoice",
                             // results read back as items, for ever
                             "--batch m.jsonl --results m.jsonl", "--batch ./m.jsonl --results m.jsonl",
                             // without JOB_COMPLETION_INDEX every pod would run the whole manifest
                             "--batch m.jsonl --shard-count 2", "--batch m.jsonl --max-audio-seconds 0"})
        EXPECT_EQ(tts_say(dir, args).exit_code, 2) << args;
    EXPECT_EQ(tts_say(dir, "--batch m.jsonl", "JOB_COMPLETION_INDEX=0").exit_code, 2) << "no count";
    // A list (--array=3,7, a resubmission): the original array's shards are unknown.
    EXPECT_EQ(tts_say(dir, "--batch m.jsonl",
                      "SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_MIN=3 SLURM_ARRAY_TASK_MAX=7 SLURM_ARRAY_TASK_COUNT=2")
                  .exit_code,
              2)
        << "a list of tasks";
    EXPECT_FALSE(testing_support::file_exists(dir.path("a.wav")));
}

// A run killed while items are being written leaves no WAV under its final
// name that is not complete; the next run skips the complete ones.
TEST(Batch, AKilledRunLeavesNoPartialWavAndTheRerunDoesTheRest) {
    TempDir dir;
    write_file(dir.path("first.tsv"), "1\t一\n2\t二\n");
    ASSERT_EQ(tts_say(dir, "--batch first.tsv").exit_code, 0);
    const std::string done = read_file(dir.path("1.wav"));
    write_file(dir.path("all.tsv"), "1\t一\n2\t二\n3\t三\n4\t四\n");

    // An engine that never ends: items 3 and 4 stay half written. No signal,
    // not even SIGKILL, leaves an unfinished file, under any name.
    for (const int sig : {SIGTERM, SIGKILL}) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::chdir(dir.path("").c_str());
            ::setenv("SPEECH_SERVICE_ENGINE", ENDLESS_ENGINE, 1);
            ::execl(TTS_SAY, TTS_SAY, "--batch", "all.tsv", "-j", "2", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        // The two items' files and the results, open for writing.
        while (testing_support::audio_files_being_written(pid, dir.path("")) < 3 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const int growing = testing_support::audio_files_being_written(pid, dir.path(""));
        ::kill(pid, sig);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_EQ(growing, 3) << "the unfinished items were not being written";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_FALSE(testing_support::file_exists(dir.path("3.wav"))) << sig;
        EXPECT_FALSE(testing_support::file_exists(dir.path("4.wav"))) << sig;
        for (const std::string &name : names_in(dir.path("")))
            EXPECT_NE(name[0], '.') << name << " is left after signal " << sig;
    }
    for (const json &line : results(dir.path("results.jsonl")))
        EXPECT_TRUE(line.value("id", "") != "3" && line.value("id", "") != "4") << line;

    ASSERT_EQ(tts_say(dir, "--batch all.tsv").exit_code, 0);
    std::map<std::string, std::string> status;
    for (const json &line : results(dir.path("results.jsonl"))) status[line.value("id", "")] = line.value("status", "");
    EXPECT_EQ(status, (std::map<std::string, std::string>{{"1", "skipped"}, {"2", "skipped"}, {"3", "ok"}, {"4", "ok"}}));
    EXPECT_EQ(read_file(dir.path("1.wav")), done) << "a complete WAV is left as it is";
    // A WAV whose header does not match its size is made again.
    write_file(dir.path("4.wav"), read_file(dir.path("4.wav")).substr(0, 1000));
    ASSERT_EQ(tts_say(dir, "--batch all.tsv").exit_code, 0);
    EXPECT_EQ(results(dir.path("results.jsonl")).back().value("status", ""), "ok");
    EXPECT_GT(read_file(dir.path("4.wav")).size(), 1000u);
}

TEST(Batch, ShardsAreDisjointAndTogetherComplete) {
    constexpr int kItems = 11;
    std::string manifest;
    for (int i = 0; i < kItems; ++i) manifest += "item" + std::to_string(i) + "\t一\n";
    // Each way of choosing a shard: the option, and each scheduler's variables.
    const std::vector<std::vector<std::string>> ways = {
        {"--shard 0/3", "--shard 1/3", "--shard 2/3"},
        {"SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3",
         "SLURM_ARRAY_TASK_ID=2 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3",
         "SLURM_ARRAY_TASK_ID=3 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3"},
        {"JOB_COMPLETION_INDEX=0 TTS_SHARD_COUNT=2", "JOB_COMPLETION_INDEX=1 --shard-count 2"},
        // --array=1-10:3: the tasks 1, 4, 7 and 10
        {"SLURM_ARRAY_TASK_ID=1 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=10 SLURM_ARRAY_TASK_STEP=3 SLURM_ARRAY_TASK_COUNT=4",
         "SLURM_ARRAY_TASK_ID=4 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=10 SLURM_ARRAY_TASK_STEP=3 SLURM_ARRAY_TASK_COUNT=4",
         "SLURM_ARRAY_TASK_ID=7 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=10 SLURM_ARRAY_TASK_STEP=3 SLURM_ARRAY_TASK_COUNT=4",
         "SLURM_ARRAY_TASK_ID=10 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_MAX=10 SLURM_ARRAY_TASK_STEP=3 SLURM_ARRAY_TASK_COUNT=4"},
    };
    for (const std::vector<std::string> &shards : ways) {
        TempDir dir;
        write_file(dir.path("m.tsv"), manifest);
        std::multiset<std::string> written;
        for (const std::string &way : shards) {
            const bool option = way.rfind("--", 0) == 0 || way.find(" --") != std::string::npos;
            const std::string env = option ? way.substr(0, way.find("--")) : way;
            const std::string args = "--batch m.tsv -j 2 " + (option ? way.substr(way.find("--")) : "");
            ASSERT_EQ(tts_say(dir, args, env).exit_code, 0) << way << read_file(dir.path("stderr.txt"));
        }
        for (const std::string &name : names_in(dir.path("")))
            if (name.rfind("results", 0) == 0)
                for (const json &line : results(dir.path(name))) written.insert(line.value("id", ""));
        std::multiset<std::string> expected;
        for (int i = 0; i < kItems; ++i) expected.insert("item" + std::to_string(i));
        EXPECT_EQ(written, expected) << shards[0];
    }
}

// Each item's status and reason in the results, by id (the last line of an id).
std::map<std::string, json> by_id(const std::string &results_path) {
    std::map<std::string, json> out;
    for (const json &line : results(results_path)) out[line.value("id", "")] = line;
    return out;
}

// No item writes outside the output folder, whatever its names or the
// links in the folder, and none replaces the manifest or the results.
TEST(Batch, NothingIsWrittenOutsideTheFolderNorOverTheManifestOrResults) {
    TempDir dir;
    ::mkdir(dir.path("work").c_str(), 0777);
    ::mkdir(dir.path("outside").c_str(), 0777);
    ASSERT_EQ(::symlink("../outside", dir.path("work/away").c_str()), 0);
    ASSERT_EQ(::symlink("../outside/link.wav", dir.path("work/link.wav").c_str()), 0);
    struct Case {
        const char *id, *line, *reason;  // reason: null when the item is made
    } const cases[] = {
        {"away/x", R"({"id": "away/x", "text": "一"})", "symbolic link"},
        {"y", R"({"id": "y", "text": "一", "output_file": "away/y.wav"})", "symbolic link"},
        {"abs", R"({"id": "abs", "text": "一", "output_file": "OUTSIDE/abs.wav"})", "absolute"},
        {"self", R"({"id": "self", "text": "一", "output_file": "m.jsonl"})", "manifest itself"},
        {"res", R"({"id": "res", "text": "一", "output_file": "results.jsonl"})", "results file itself"},
        // A link in the file's own place is replaced, not written through.
        {"link", R"({"id": "link", "text": "一"})", nullptr},
        {"ok", R"({"id": "ok", "text": "一"})", nullptr},
    };
    std::string manifest;
    for (const Case &c : cases) {
        std::string line = c.line;
        if (const std::size_t at = line.find("OUTSIDE"); at != std::string::npos)
            line.replace(at, 7, dir.path("outside"));
        manifest += line + "\n";
    }
    write_file(dir.path("work/m.jsonl"), manifest);
    const Outcome r = tts_say(dir, "--batch work/m.jsonl -O work -j 2");
    EXPECT_EQ(r.exit_code, 1) << r.err;
    const std::map<std::string, json> got = by_id(dir.path("work/results.jsonl"));
    for (const Case &c : cases) {
        ASSERT_EQ(got.count(c.id), 1u) << c.line;
        const json &line = got.at(c.id);
        if (c.reason == nullptr) {
            EXPECT_TRUE(line.value("status", "") == "ok" || line.value("status", "") == "skipped") << line;
        } else {
            EXPECT_EQ(line.value("status", ""), "failed") << line;
            EXPECT_NE(line.value("reason", "").find(c.reason), std::string::npos) << line;
        }
    }
    EXPECT_EQ(names_in(dir.path("outside")), std::vector<std::string>{}) << "written outside the folder";
    EXPECT_EQ(read_file(dir.path("work/m.jsonl")), manifest);
    EXPECT_EQ(read_file(dir.path("work/link.wav")).substr(0, 4), "RIFF");
    // Without -O the folder is the current one, and an absolute path is refused all the same.
    write_file(dir.path("abs.jsonl"), R"({"id": "abs2", "text": "一", "output_file": ")" + dir.path("outside/abs2.wav") + "\"}\n");
    EXPECT_EQ(tts_say(dir, "--batch abs.jsonl").exit_code, 1);
    EXPECT_FALSE(testing_support::file_exists(dir.path("outside/abs2.wav")));
}

// Two items of one id or one file: the later fails with a reason, whatever
// the number of workers, and the earlier's WAV is its own.
TEST(Batch, ClashingIdsAndFilesFailTheLaterItem) {
    const std::string manifest = "a\t一\n"
                                 "a\t二\n"                                              // the id again
                                 "{\"id\": \"b\", \"text\": \"三\", \"output_file\": \"a.wav\"}\n"  // the file again
                                 "{\"id\": \"c\", \"text\": \"四\", \"output_file\": \"./x//c.wav\"}\n"
                                 "{\"id\": \"d\", \"text\": \"五\", \"output_file\": \"x/c.wav\"}\n"  // the same file spelt otherwise
                                 "{\"text\": \"六\"}\n"
                                 "{\"id\": \"6\", \"text\": \"七\"}\n";  // the default id of line 6
    for (const char *jobs : {"-j 1", "-j 2"}) {
        TempDir dir;
        ::mkdir(dir.path("x").c_str(), 0777);
        write_file(dir.path("m.jsonl"), manifest);
        const Outcome r = tts_say(dir, std::string("--batch m.jsonl ") + jobs);
        EXPECT_EQ(r.exit_code, 1) << jobs;
        EXPECT_NE(r.err.find("4 of 7 items failed"), std::string::npos) << r.err;
        std::map<std::string, std::vector<std::string>> status;
        for (const json &line : results(dir.path("results.jsonl")))
            status[line.value("id", "")].push_back(line.value("status", "") + " " + line.value("reason", ""));
        EXPECT_EQ(status["a"].size(), 2u);
        EXPECT_EQ(status["b"], std::vector<std::string>{"failed the output_file 'a.wav' is line 1's already"});
        EXPECT_EQ(status["d"], std::vector<std::string>{"failed the output_file 'x/c.wav' is line 4's already"});
        EXPECT_EQ(status["6"].size(), 2u);
        ASSERT_EQ(tts_say(dir, "-q -o alone.wav 一").exit_code, 0);
        EXPECT_EQ(read_file(dir.path("a.wav")), read_file(dir.path("alone.wav"))) << jobs;
    }
}

// A rerun makes a WAV again when its item's text, settings or lexicons
// changed, and says so; an unchanged one is skipped.
TEST(Batch, AChangedItemIsMadeAgainAndTheResultsSaySo) {
    TempDir dir;
    const auto lexicon = [](const char *reading) {
        return std::string("<lexicon version=\"1.0\" alphabet=\"x-pinyin\"><lexeme><grapheme>二</grapheme><phoneme>") +
               reading + "</phoneme></lexeme></lexicon>";
    };
    struct Step {
        const char *manifest, *options, *lexicon, *status, *note, *env = "";
    } const steps[] = {
        {"a\t一\n", "", nullptr, "ok", ""},
        {"a\t一\n", "", nullptr, "skipped", ""},
        {"a\t二\n", "", nullptr, "ok", "made again: its text or settings changed since it was made"},
        {"{\"id\": \"a\", \"text\": \"二\", \"speed\": 80}\n", "", nullptr, "ok", "made again: its text or settings changed"},
        {"{\"id\": \"a\", \"text\": \"二\", \"speed\": 80}\n", "", nullptr, "skipped", ""},
        {"a\t二\n", "--lexicon l.pls", "san1", "ok", "made again"},
        {"a\t二\n", "--lexicon l.pls", "san1", "skipped", ""},
        {"a\t二\n", "--lexicon l.pls", "si4", "ok", "made again: its text or settings changed"},
        // A lexicon the environment registers counts as well.
        {"a\t二\n", "", "wu3", "ok", "made again", "SPEECH_SERVICE_LEXICONS=l.pls"},
        {"a\t二\n", "", "wu3", "skipped", "", "SPEECH_SERVICE_LEXICONS=l.pls"},
        {"a\t二\n", "", "liu4", "ok", "made again: its text or settings changed", "SPEECH_SERVICE_LEXICONS=l.pls"},
    };
    for (const Step &step : steps) {
        write_file(dir.path("m.tsv"), step.manifest);
        if (step.lexicon != nullptr) write_file(dir.path("l.pls"), lexicon(step.lexicon));
        ASSERT_EQ(tts_say(dir, std::string("--batch m.tsv ") + step.options, step.env).exit_code, 0) << step.manifest;
        const json last = results(dir.path("results.jsonl")).back();
        EXPECT_EQ(last.value("status", ""), step.status) << step.manifest << step.options;
        EXPECT_EQ(last.value("note", "").substr(0, std::strlen(step.note)), step.note) << step.manifest;
    }
    ASSERT_EQ(tts_say(dir, "-q --lexicon l.pls -o alone.wav 二").exit_code, 0);  // l.pls now reads 二 liu4
    EXPECT_EQ(read_file(dir.path("a.wav")), read_file(dir.path("alone.wav")));
}

// A results file whose last line was cut off (a full disk): the rerun's
// lines start on a line of their own and read as JSON.
TEST(Batch, ResultsAfterATornLineStillReadAsJsonLines) {
    TempDir dir;
    const std::string torn = R"({"id": "x", "output_file": "./x.wav", "sta)";
    write_file(dir.path("results.jsonl"), torn);
    write_file(dir.path("m.tsv"), "a\t一\nb\t二\n");
    ASSERT_EQ(tts_say(dir, "--batch m.tsv").exit_code, 0);
    const std::string text = read_file(dir.path("results.jsonl"));
    ASSERT_EQ(text.substr(0, torn.size() + 1), torn + "\n");
    write_file(dir.path("rest.jsonl"), text.substr(torn.size() + 1));
    std::set<std::string> ids;
    for (const json &line : results(dir.path("rest.jsonl"))) ids.insert(line.value("id", ""));
    EXPECT_EQ(ids, (std::set<std::string>{"a", "b"}));
}

// A results line that does not fit (the file size limit standing for a
// full disk) is not left half written: the file stays whole JSON lines.
TEST(Batch, AResultsLineThatDoesNotFitIsNotLeftTorn) {
    TempDir dir;
    std::string padding;
    for (int i = 0; padding.size() < 100 * 512 - 60; ++i) padding += "{\"id\": \"pad" + std::to_string(i) + "\"}\n";
    write_file(dir.path("results.jsonl"), padding);
    write_file(dir.path("m.tsv"), "a\t一\n");
    // SIGXFSZ ignored: the write fails with EFBIG instead of ending the run
    // (ulimit -f counts 512-byte blocks).
    const std::string cmd = "cd '" + dir.path("") + "' && env -u SLURM_ARRAY_TASK_ID -u JOB_COMPLETION_INDEX sh -c " +
                            "\"trap '' XFSZ; ulimit -f 100; exec '" TTS_SAY "' --batch m.tsv\" < /dev/null > /dev/null 2> stderr.txt";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << read_file(dir.path("stderr.txt"));
    EXPECT_NE(read_file(dir.path("stderr.txt")).find("cannot write the results"), std::string::npos);
    EXPECT_EQ(read_file(dir.path("results.jsonl")), padding);
}

// Manifests that are not plain files of lines, and the messages for them.
TEST(Batch, OddManifestsAreReadOrRefusedWithTheReason) {
    struct Case {
        const char *what, *args, *stdin;
        int exit_code;
        const char *message;  // in standard error; null: none expected
        const char *made;     // a file the run makes; null: none
    } const cases[] = {
        {"a byte-order mark before a TAB line", "--batch bom.tsv", "", 0, nullptr, "a.wav"},
        {"a byte-order mark before a JSON line", "--batch bom.jsonl", "", 0, nullptr, "j.wav"},
        {"a folder", "--batch sub", "", 1, "it is a folder", nullptr},
        {"a folder as standard input", "--batch -", "< sub", 1, "cannot read", nullptr},
        {"a closed standard input", "--batch -", "<&-", 1, "cannot read", nullptr},
        {"a line without end", "--batch /dev/zero", "", 1, "longer than 16 MiB", nullptr},
        {"an output folder not there yet", "--batch m.tsv -O new/deeper", "", 0, nullptr, "new/deeper/n.wav"},
        {"an output folder that is a file", "--batch m.tsv -O m.tsv", "", 1, "not a folder", nullptr},
    };
    for (const Case &c : cases) {
        TempDir dir;
        ::mkdir(dir.path("sub").c_str(), 0777);
        write_file(dir.path("bom.tsv"), "\xEF\xBB\xBF" "a\t一\n");
        write_file(dir.path("bom.jsonl"), "\xEF\xBB\xBF{\"id\": \"j\", \"text\": \"一\"}\n");
        write_file(dir.path("m.tsv"), "n\t一\n");
        const Outcome r = tts_say(dir, c.args, "", c.stdin);
        EXPECT_EQ(r.exit_code, c.exit_code) << c.what << ": " << r.err;
        if (c.message != nullptr) {
            EXPECT_NE(r.err.find(c.message), std::string::npos) << c.what << ": " << r.err;
        }
        EXPECT_EQ(r.err.find("Success"), std::string::npos) << c.what << ": " << r.err;
        if (c.made != nullptr) {
            EXPECT_TRUE(testing_support::file_exists(dir.path(c.made))) << c.what;
        }
    }
}

// Whatever a line holds, what the run echoes of it is short and has no
// control character: no forged lines, no terminal escapes, no flood.
TEST(Batch, EchoedValuesAreCutAndEscaped) {
    TempDir dir;
    const std::string huge(1 << 20, 'v');
    struct Case {
        const char *id;
        std::string line, reason;
    } const cases[] = {
        {"num", R"({"id": 12.5, "text": "一"})", "not 12.5"},
        {"2", "{\"id\": \"../\\u001b[31mred\\nline\", \"text\": \"一\"}", "\\x1b[31mred\\x0aline"},
        {"voice", R"({"id": "voice", "text": "一", "voice": ")" + huge + "\"}", "bytes in all"},
        {"speed", R"({"id": "speed", "text": "一", "speed": ")" + huge + "\"}", "bytes in all"},
    };
    std::string manifest;
    for (const Case &c : cases) manifest += c.line + "\n";
    write_file(dir.path("m.jsonl"), manifest);
    const Outcome r = tts_say(dir, "--batch m.jsonl");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_LT(r.err.size(), 4000u);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    const std::string text = read_file(dir.path("results.jsonl"));
    EXPECT_LT(text.size(), 4000u);
    std::size_t n = 0;
    for (const json &line : results(dir.path("results.jsonl"))) {
        ++n;
        const std::string reason = line.value("reason", "");
        EXPECT_LT(reason.size(), 600u);
        bool matched = false;
        for (const Case &c : cases) matched = matched || reason.find(c.reason) != std::string::npos;
        EXPECT_TRUE(matched) << reason;
    }
    EXPECT_EQ(n, std::size(cases));
}

// The audio one item may make: an item past it fails with the reason and
// leaves no WAV; the others are made.
TEST(Batch, AnItemPastMaxAudioSecondsFailsWithTheReason) {
    TempDir dir;
    write_file(dir.path("m.jsonl"), "{\"id\": \"long\", \"text\": \"<speak>一<break time=\\\"60s\\\"/>"
                                    "<break time=\\\"60s\\\"/></speak>\"}\n"
                                    "short\t一\n");
    EXPECT_EQ(tts_say(dir, "--batch m.jsonl --max-audio-seconds 100").exit_code, 1);
    const std::map<std::string, json> got = by_id(dir.path("results.jsonl"));
    EXPECT_EQ(got.at("long").value("code", 0), 21023);  // the text asks for too much audio
    EXPECT_NE(got.at("long").value("reason", "").find("max_audio_seconds = 100"), std::string::npos) << got.at("long");
    EXPECT_EQ(got.at("short").value("status", ""), "ok");
    EXPECT_FALSE(testing_support::file_exists(dir.path("long.wav")));
    // The same text alone, and the limit raised.
    EXPECT_EQ(tts_say(dir, "--max-audio-seconds 100 -o alone.wav '<speak><break time=\"60s\"/><break time=\"60s\"/></speak>'")
                  .exit_code,
              1);
    EXPECT_EQ(tts_say(dir, "--batch m.jsonl --max-audio-seconds 130").exit_code, 0);
}

}  // namespace
