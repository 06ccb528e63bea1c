// SPDX-License-Identifier: Apache-2.0
// Which lines of a manifest this run takes: --shard K/N, else what a
// scheduler's job array says in the environment.
#ifndef TTS_SAY_BATCH_SHARD_H
#define TTS_SAY_BATCH_SHARD_H

#include <string>

#include "options.h"

namespace tts_say {

struct Shard {
    long long index = 0, count = 1;  // lines whose 0-based index is `index` modulo `count`
};

// From --shard; else a Slurm array task's place among the array's tasks
// (SLURM_ARRAY_TASK_ID, _MIN, _MAX, _STEP, _COUNT; steps are followed, a
// list of tasks is refused); else JOB_COMPLETION_INDEX with --shard-count
// or TTS_SHARD_COUNT; else the whole manifest. --shard-count without
// JOB_COMPLETION_INDEX is refused. False with the reason when the
// environment is unusable.
bool batch_shard(const BatchOptions &b, Shard &shard, std::string &error);

}  // namespace tts_say

#endif  // TTS_SAY_BATCH_SHARD_H
