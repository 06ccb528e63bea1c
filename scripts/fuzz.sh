#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# (default 10), starting from the seed corpora in fuzz/corpus/. New inputs
# go to build-fuzz/corpus/, never into the repository; a finding is saved in
# build-fuzz/ and fails the run.
#   scripts/fuzz.sh [SECONDS]
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-10}
./scripts/install-deps.sh fuzz
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTTS_FUZZ=ON -DTTS_BUILD_TESTS=OFF -DTTS_SANITIZE=address,undefined > /dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz_params fuzz_service_text fuzz_text_to_speech fuzz_reading fuzz_ssml fuzz_pls tts-engine mandarin_lexicon
status=0
for target in fuzz_params fuzz_service_text fuzz_text_to_speech fuzz_reading fuzz_ssml fuzz_pls; do
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target for ${seconds}s"
  if (cd build-fuzz && "./bin/$target" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
      "corpus/$target" "../fuzz/corpus/$target" > "$target.log" 2>&1); then
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' "build-fuzz/$target.log"
  else
    tail -n 40 "build-fuzz/$target.log"
    echo "FAIL: $target found a problem (see build-fuzz/$target.log and build-fuzz/crash-*)" >&2
    status=1
  fi
done
[ $status -eq 0 ] && echo "fuzzing found nothing"
exit $status
