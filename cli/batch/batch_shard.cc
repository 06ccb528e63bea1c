// SPDX-License-Identifier: Apache-2.0
#include "batch_shard.h"

#include <cstdlib>

namespace tts_say {
namespace {

// The whole number in the variable `name`; -1 when it is unset, -2 when it
// is not one.
long long env_number(const char *name) {
    const char *text = std::getenv(name);
    if (text == nullptr || *text == '\0') return -1;
    long long v = 0;
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || v > 100000000) return -2;
        v = v * 10 + (*p - '0');
    }
    return v;
}

bool take(long long index, long long count, const std::string &from, Shard &shard, std::string &error) {
    if (index < 0 || count < 1 || index >= count) {
        error = "cannot take the shard from " + from + ": the index must be a whole number below the count";
        return false;
    }
    shard = {index, count};
    return true;
}

// A Slurm array task: its place in the array's tasks, which must be the
// evenly spaced MIN, MIN+STEP, ..., MAX (COUNT of them). A list such as
// --array=3,7 (a resubmission of some tasks) cannot be mapped: the shards
// of the original array are unknown, so it is refused rather than guessed.
bool slurm_shard(Shard &shard, std::string &error) {
    const long long id = env_number("SLURM_ARRAY_TASK_ID"), count = env_number("SLURM_ARRAY_TASK_COUNT");
    const long long min = env_number("SLURM_ARRAY_TASK_MIN"), max = env_number("SLURM_ARRAY_TASK_MAX");
    long long step = env_number("SLURM_ARRAY_TASK_STEP");
    if (step == -1) step = 1;
    const std::string from = "the Slurm array (SLURM_ARRAY_TASK_ID, _MIN, _MAX, _STEP, _COUNT)";
    if (id < 0 || count < 1 || min < 0 || step < 1 || (max != -1 && max < min)) {
        error = "cannot take the shard from " + from + ": SLURM_ARRAY_TASK_ID, _MIN and _COUNT must be set to whole numbers";
        return false;
    }
    const long long last = min + (count - 1) * step;
    if ((max != -1 && max != last) || id < min || id > last || (id - min) % step != 0) {
        error = "cannot take the shard from " + from +
                ": its tasks are not evenly spaced from MIN to MAX (a list such as --array=3,7); give --shard K/N";
        return false;
    }
    return take((id - min) / step, count, from, shard, error);
}

}  // namespace

bool batch_shard(const BatchOptions &b, Shard &shard, std::string &error) {
    if (b.shards > 0) return take(b.shard, b.shards, "--shard", shard, error);
    if (b.shard_count > 0 && std::getenv("JOB_COMPLETION_INDEX") == nullptr) {
        error = "--shard-count goes with JOB_COMPLETION_INDEX (an indexed Job), which is not set; give --shard K/N";
        return false;
    }
    if (std::getenv("SLURM_ARRAY_TASK_ID") != nullptr) return slurm_shard(shard, error);
    if (std::getenv("JOB_COMPLETION_INDEX") != nullptr) {
        const long long count = b.shard_count > 0 ? b.shard_count : env_number("TTS_SHARD_COUNT");
        return take(env_number("JOB_COMPLETION_INDEX"), count,
                    "JOB_COMPLETION_INDEX and --shard-count or TTS_SHARD_COUNT", shard, error);
    }
    shard = {};
    return true;
}

}  // namespace tts_say
