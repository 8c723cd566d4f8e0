#!/usr/bin/env bash
# Line and region coverage of the character file library reached by the fuzzer's corpus
# (build/fuzz/corpus, grown by scripts/fuzz-acs.sh). Builds its own instrumented copy in
# build/fuzz-coverage and prints llvm-cov's report for src/stage/acs.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build/fuzz-coverage
corpus=build/fuzz/corpus
[ -d "$corpus" ] || { echo "no corpus: run scripts/fuzz-acs.sh first" >&2; exit 1; }
cmake -S . -B "$dir" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++ -DZINNA_BUILD_TESTS=OFF -DZINNA_BUILD_FUZZERS=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
cmake --build "$dir" -j 2 --target acs_reader_fuzzer
LLVM_PROFILE_FILE="$dir/fuzz.profraw" "$dir/fuzz/acs_reader_fuzzer" -runs=0 "$corpus" 2>/dev/null
llvm-profdata merge -sparse "$dir/fuzz.profraw" -o "$dir/fuzz.profdata"
llvm-cov report "$dir/fuzz/acs_reader_fuzzer" -instr-profile="$dir/fuzz.profdata" \
  $(ls src/stage/acs/*.cpp | grep -v sample_character)
