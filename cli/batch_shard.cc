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

}  // namespace

bool batch_shard(const BatchOptions &b, Shard &shard, std::string &error) {
    if (b.shards > 0) return take(b.shard, b.shards, "--shard", shard, error);
    if (std::getenv("SLURM_ARRAY_TASK_ID") != nullptr) {
        const long long min = env_number("SLURM_ARRAY_TASK_MIN");
        const long long id = env_number("SLURM_ARRAY_TASK_ID");
        return take(min > 0 && id >= min ? id - min : id, env_number("SLURM_ARRAY_TASK_COUNT"),
                    "SLURM_ARRAY_TASK_ID and SLURM_ARRAY_TASK_COUNT", shard, error);
    }
    if (std::getenv("JOB_COMPLETION_INDEX") != nullptr) {
        const long long count = b.shard_count > 0 ? b.shard_count : env_number("TTS_SHARD_COUNT");
        return take(env_number("JOB_COMPLETION_INDEX"), count,
                    "JOB_COMPLETION_INDEX and --shard-count or TTS_SHARD_COUNT", shard, error);
    }
    shard = {};
    return true;
}

}  // namespace tts_say
