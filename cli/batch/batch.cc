// SPDX-License-Identifier: Apache-2.0
#include "batch.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <functional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "batch_cleanup.h"
#include "batch_item.h"
#include "batch_place.h"
#include "batch_queue.h"
#include "batch_report.h"
#include "batch_shard.h"
#include "batch_speak.h"
#include "manifest_reader.h"
#include "session_settings.h"
#include "shown_text.h"
#include "speech_service.h"
#include "text_input.h"
#include "voices.h"

namespace tts_say {
namespace {

constexpr const char *kLoginParams = "appid = 7c2e94b0, work_dir = .";
constexpr std::size_t kQueuedPerWorker = 4;

struct Queued {
    BatchItem item;
    ItemPlace place;
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

// What the workers share: the host's session list (taken out of the
// environment, so that each item's settings win over it) and the report.
struct Worker {
    const std::string &host;
    const std::string &lexicons;  // lexicons_contents() of the batch's settings
    BatchReport &report;
    BatchTempFiles &files;
    std::atomic<bool> &results_ok;

    void operator()(BoundedQueue<Queued> &queue) const {
        while (std::optional<Queued> next = queue.pop()) {
            const BatchItem &item = next->item;
            const std::string &shown = next->place.shown.empty() ? item.output : next->place.shown;
            ItemOutcome out{item.id, shown, "failed", -1, 0, item.error, next->line_end};
            if (item.error.empty()) {
                const std::string params = session_settings(item.settings, host);
                const std::string text = is_blank(item.text) ? "" : item.text;
                const std::string digest = made_from_digest(text, params, lexicons);
                std::string note;
                double seconds = 0;
                if (is_complete_wav(next->place, seconds)) {
                    const std::string *recorded = report.made_from(shown);
                    if (recorded != nullptr && *recorded == digest) {
                        out.status = "skipped";
                        out.code = 0;
                        out.seconds = seconds;
                        out.made_from = digest;
                    } else {
                        note = recorded != nullptr ? "made again: its text or settings changed since it was made"
                                                   : "made again: no record of what it was made from";
                    }
                }
                if (out.code != 0) {
                    const SpokenItem spoken = speak_item(text, params, sample_rate_of(params), next->place, files);
                    out = {item.id, shown, spoken.reason.empty() ? "ok" : "failed", spoken.code, spoken.seconds,
                           spoken.reason, next->line_end};
                    if (spoken.reason.empty()) out.made_from = digest;
                    out.note = note;
                }
            }
            if (!report.add(out)) results_ok = false;
        }
    }
};

// The manifest, open: a file or standard input; -1 with the reason.
int open_manifest(const std::string &name, UniqueFd &owned, std::string &error) {
    const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    const std::string shown = name == "-" ? "standard input" : tts_text::shown(name);
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        error = "cannot read " + shown + ": " + std::strerror(errno);
        if (fd > STDIN_FILENO) ::close(fd);
        return -1;
    }
    if (fd != STDIN_FILENO) owned = UniqueFd(fd);
    if (S_ISDIR(st.st_mode)) {
        error = "cannot read " + shown + ": it is a folder, not a manifest";
        return -1;
    }
    return fd;
}

// Which earlier line claimed a key (an id, or a file), so that a later
// item with the same one fails instead of overwriting or being skipped.
class Claims {
  public:
    // 0 when `key` is new (it is then this line's), else the line that has it.
    long long claim(const std::string &key, long long line) {
        const auto [it, fresh] = lines_.emplace(std::hash<std::string>{}(key), line);
        return fresh ? 0 : it->second;
    }

  private:
    // By the key's 64-bit hash: some 40 bytes a line, whatever its names.
    std::unordered_map<std::size_t, long long> lines_;
};

std::string file_key(const ItemPlace &place) {
    const FileId folder = file_id_of(place.folder.get());
    return std::to_string(folder.dev) + ":" + std::to_string(folder.ino) + "/" + place.base;
}

}  // namespace

int run_batch(const Options &o) {
    // Before the service starts a thread: every thread then holds the
    // ending signals off, and the signal thread alone takes them.
    static BatchTempFiles files;  // lives on for its signal thread
    const BatchOptions &b = o.batch;
    Shard shard;
    std::string error;
    if (!batch_shard(b, shard, error)) return usage_error(error);
    OutputRoot root;
    if (!root.open(b.dir.empty() ? "." : b.dir, error)) return fail(error);

    UniqueFd manifest_file;
    const int manifest_fd = open_manifest(b.manifest, manifest_file, error);
    if (manifest_fd < 0) return fail(error);
    const FileId manifest_id = file_id_of(manifest_fd);
    struct stat st {};
    const long long manifest_bytes = ::fstat(manifest_fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : 0;

    std::string results = b.results;
    if (results.empty())
        results = root.dir() + (shard.count > 1 ? "/results-" + std::to_string(shard.index) + "-of-" +
                                                      std::to_string(shard.count) + ".jsonl"
                                                : "/results.jsonl");
    // Appending results to the manifest would read them back as items, forever.
    if (file_id_of(results) == manifest_id)
        return usage_error("the results file " + tts_text::shown(results) +
                           " is the manifest itself: give --results another file");

    const std::string voices = voice_list(error);
    if (!error.empty()) return fail(error);
    if (!o.voice.empty() && !offers_voice(voices, o.voice))
        return usage_error("unknown voice " + tts_text::shown(o.voice) + " (see tts-say --voices)");

    BatchReport report;
    if (!report.open(results, !o.quiet && ::isatty(STDERR_FILENO), manifest_bytes, error)) return fail(error);
    const FileId results_id = file_id_of(report.fd());

    // Each item's settings go to its session begin; the host's list from
    // the environment would otherwise be put after them by the service.
    const char *host_env = std::getenv(kHostParamsEnv);
    const std::string host = host_env != nullptr ? host_env : "";
    ::unsetenv(kHostParamsEnv);
    const int login = MSPLogin(nullptr, nullptr, kLoginParams);
    if (login != 0) return fail(std::string("cannot log in to the speech service: ") + speech_service_error_text(login));

    // Items cannot name lexicons of their own: the batch's are read once.
    const std::string lexicons = lexicons_contents(session_settings(o, host));
    const int jobs = b.jobs > 0 ? b.jobs : processors();
    BoundedQueue<Queued> queue(kQueuedPerWorker * static_cast<std::size_t>(jobs));
    std::atomic<bool> results_ok{true};
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs; ++i) workers.emplace_back(Worker{host, lexicons, report, files, results_ok}, std::ref(queue));

    // Every line is read for its id and file, in every shard, so that a
    // clash is found whichever shard holds the later line.
    ManifestReader reader(manifest_fd);
    Claims ids, outputs;
    std::string line, read_error;
    bool too_long = false;
    for (long long index = 0;; ++index) {
        const ManifestReader::Got got = reader.next(line, too_long, read_error);
        if (got != ManifestReader::Got::line) break;
        const bool ours = index % shard.count == shard.index;
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        BatchItem item = parse_batch_line(line, index + 1, o);
        if (const long long earlier = ids.claim(item.id, item.line); earlier != 0 && item.error.empty())
            item.error = "the id '" + tts_text::shown(item.id) + "' is line " + std::to_string(earlier) + "'s already";
        ItemPlace place;
        std::string place_error;
        if (!item.output.empty() && item.error.empty() && !root.place(item.output, place, place_error))
            item.error = "the output_file " + place_error;
        if (place.folder.get() >= 0) {
            if (const long long earlier = outputs.claim(file_key(place), item.line); earlier != 0 && item.error.empty())
                item.error = "the output_file '" + tts_text::shown(item.output) + "' is line " +
                             std::to_string(earlier) + "'s already";
            struct stat there {};
            if (item.error.empty() &&
                ::fstatat(place.folder.get(), place.base.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
                const FileId id{there.st_dev, there.st_ino, true};
                if (id == manifest_id || id == results_id)
                    item.error = "the output_file '" + tts_text::shown(item.output) + "' is the " +
                                 (id == manifest_id ? "manifest" : "results file") + " itself";
            }
        }
        if (!ours) continue;
        if (item.error.empty() && !item.settings.voice.empty() && !offers_voice(voices, item.settings.voice))
            item.error = "unknown voice " + tts_text::shown(item.settings.voice);
        queue.push({std::move(item), std::move(place), reader.offset()});
    }
    queue.close();
    for (std::thread &t : workers) t.join();
    (void)MSPLogout();
    const int status = report.finish(results_ok);
    if (!read_error.empty())
        return fail("cannot read all of " + (b.manifest == "-" ? std::string("standard input") : tts_text::shown(b.manifest)) +
                    ": " + read_error);
    return status;
}

}  // namespace tts_say
