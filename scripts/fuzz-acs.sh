#!/usr/bin/env bash
# Fuzzes the character file reader for SECONDS (default 60) with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, in its own clang build directory (build/fuzz). Seeds: the malformed
# corpus, its valid mini character and the sample character. Findings land in build/fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh
dir=build/fuzz
cmake -S . -B "$dir" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DZINNA_BUILD_TESTS=OFF -DZINNA_BUILD_FUZZERS=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$dir" -j 2 --target acs_reader_fuzzer acs-sample
mkdir -p "$dir/corpus" "$dir/findings"
cp tests/data/acs-malformed/*.acs "$dir/corpus/"
"$dir/apps/acs-sample/acs-sample" "$dir/corpus/sample.acs"
"$dir/fuzz/acs_reader_fuzzer" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$dir/findings/" "$dir/corpus"
