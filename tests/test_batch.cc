// SPDX-License-Identifier: Apache-2.0
// tts-say --batch as a user runs it: the real binary, service and engine.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
// settings `env` ("A=1 B=2").
Outcome tts_say(const TempDir &dir, const std::string &args, const std::string &env = "") {
    const std::string cmd = "cd '" + dir.path("") + "' && env -u SLURM_ARRAY_TASK_ID -u JOB_COMPLETION_INDEX " + env +
                            " '" TTS_SAY "' " + args + " < /dev/null > /dev/null 2> stderr.txt";
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
                             "--batch m.jsonl words", "-O out 一", "--batch m.jsonl -v nosuchvoice"})
        EXPECT_EQ(tts_say(dir, args).exit_code, 2) << args;
    EXPECT_EQ(tts_say(dir, "--batch m.jsonl", "JOB_COMPLETION_INDEX=0").exit_code, 2) << "no count";
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

}  // namespace
