// SPDX-License-Identifier: Apache-2.0
#include "batch.h"

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <thread>
#include <vector>

#include "batch_cleanup.h"
#include "batch_item.h"
#include "batch_queue.h"
#include "batch_report.h"
#include "batch_shard.h"
#include "batch_speak.h"
#include "session_settings.h"
#include "speech_service.h"
#include "text_input.h"
#include "voices.h"

namespace tts_say {
namespace {

constexpr const char *kLoginParams = "appid = 7c2e94b0, work_dir = .";
constexpr std::size_t kQueuedPerWorker = 4;

struct Queued {
    BatchItem item;
    long long line_end;
};

int usage_error(const std::string &why) {
    std::cerr << "tts-say: " << why << "\n" << kUsage << "\nTry 'tts-say --help' for more.\n";
    return 2;
}

int fail(const std::string &why) {
    std::cerr << "tts-say: " << why << "\n";
    return 1;
}

int processors() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    return 1;
}

bool is_folder(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What the workers share: the host's session list (taken out of the
// environment, so that each item's settings win over it) and the report.
struct Worker {
    const std::string &host;
    BatchReport &report;
    BatchTempFiles &files;
    std::atomic<bool> &results_ok;

    void operator()(BoundedQueue<Queued> &queue) const {
        while (std::optional<Queued> next = queue.pop()) {
            const BatchItem &item = next->item;
            ItemOutcome out{item.id, item.output, "failed", -1, 0, item.error, next->line_end};
            if (item.error.empty()) {
                if (is_complete_wav(item.output, out.seconds)) {
                    out.status = "skipped";
                    out.code = 0;
                } else {
                    const std::string params = session_settings(item.settings, host);
                    const SpokenItem spoken = speak_item(is_blank(item.text) ? "" : item.text, params,
                                                         sample_rate_of(params), item.output, files);
                    out = {item.id, item.output, spoken.reason.empty() ? "ok" : "failed", spoken.code,
                           spoken.seconds, spoken.reason, next->line_end};
                }
            }
            if (!report.add(out)) results_ok = false;
        }
    }
};

}  // namespace

int run_batch(const Options &o) {
    // Before the service starts a thread: every thread then holds the
    // ending signals off, and the signal thread alone takes them.
    static BatchTempFiles files;  // lives on for its signal thread
    const BatchOptions &b = o.batch;
    Shard shard;
    std::string error;
    if (!batch_shard(b, shard, error)) return usage_error(error);
    OutputFolder folder;
    if (!b.dir.empty()) folder = {b.dir, true};
    if (!is_folder(folder.dir)) return fail("the output folder " + folder.dir + " is not a folder");

    std::ifstream file;
    if (b.manifest != "-") {
        file.open(b.manifest);
        if (!file || is_folder(b.manifest)) return fail("cannot read " + b.manifest + ": " + std::strerror(errno));
    }
    std::istream &manifest = b.manifest == "-" ? std::cin : file;
    struct stat st {};
    const long long manifest_bytes =
        b.manifest != "-" && ::stat(b.manifest.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;

    const std::string voices = voice_list(error);
    if (!error.empty()) return fail(error);
    if (!o.voice.empty() && !offers_voice(voices, o.voice))
        return usage_error("unknown voice " + o.voice + " (see tts-say --voices)");

    std::string results = b.results;
    if (results.empty())
        results = folder.dir + (shard.count > 1 ? "/results-" + std::to_string(shard.index) + "-of-" +
                                                      std::to_string(shard.count) + ".jsonl"
                                                : "/results.jsonl");
    BatchReport report;
    if (!report.open(results, !o.quiet && ::isatty(STDERR_FILENO), manifest_bytes, error)) return fail(error);

    // Each item's settings go to its session begin; the host's list from
    // the environment would otherwise be put after them by the service.
    const char *host_env = std::getenv(kHostParamsEnv);
    const std::string host = host_env != nullptr ? host_env : "";
    ::unsetenv(kHostParamsEnv);
    const int login = MSPLogin(nullptr, nullptr, kLoginParams);
    if (login != 0) return fail(std::string("cannot log in to the speech service: ") + speech_service_error_text(login));

    const int jobs = b.jobs > 0 ? b.jobs : processors();
    BoundedQueue<Queued> queue(kQueuedPerWorker * static_cast<std::size_t>(jobs));
    std::atomic<bool> results_ok{true};
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs; ++i) workers.emplace_back(Worker{host, report, files, results_ok}, std::ref(queue));

    std::string line;
    long long index = 0, offset = 0;
    for (; std::getline(manifest, line); ++index) {
        offset += static_cast<long long>(line.size()) + 1;
        if (index % shard.count != shard.index) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        BatchItem item = parse_batch_line(line, index + 1, o, folder);
        if (item.error.empty() && !item.settings.voice.empty() && !offers_voice(voices, item.settings.voice))
            item.error = "unknown voice " + item.settings.voice;
        queue.push({std::move(item), offset});
    }
    const bool read_ok = !manifest.bad();
    queue.close();
    for (std::thread &t : workers) t.join();
    (void)MSPLogout();
    const int status = report.finish(results_ok);
    if (!read_ok) return fail("cannot read all of " + b.manifest);
    return status;
}

}  // namespace tts_say
