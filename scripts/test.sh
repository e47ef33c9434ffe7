#!/usr/bin/env bash
# Sets up the machine, builds everything and runs the whole test suite.
#   scripts/test.sh             release build with debug info, the suite, then the fuzzers (bounded)
#   scripts/test.sh --sanitize  the suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    *) echo "usage: scripts/test.sh [--sanitize]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh

jobs=$(nproc)
export CCACHE_DIR="${CCACHE_DIR:-$PWD/.cache/ccache}"

if [ "$sanitize" = 1 ]; then
  build=build/sanitize
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVLORA_SANITIZE=ON -DTAVLORA_BENCH=OFF
  cmake --build "$build" -j "$jobs"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE fuzz
  exit 0
fi

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs" -LE fuzz

# The fuzzers need clang; only their own targets are built in that tree.
fuzz=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVLORA_FUZZ=ON -DTAVLORA_BENCH=OFF
cmake --build "$fuzz" -j "$jobs" --target tavlora_fuzzers
ctest --test-dir "$fuzz" --output-on-failure -L fuzz
