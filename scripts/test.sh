#!/usr/bin/env bash
# Sets up and runs every test: the sanitizer build's tests, each fuzz target for
# a short bounded time, then the normal build's tests (whose summary closes the
# output). Warnings are errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/setup.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-10}

echo "== normal build"
cmake -S . -B build -G Ninja -DORV_WERROR=ON >/dev/null
cmake --build build

echo "== sanitizer build"
cmake -S . -B build-asan -G Ninja -DORV_WERROR=ON -DORV_SANITIZE=ON -DORV_BENCH=OFF >/dev/null
cmake --build build-asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j"$jobs")

echo "== thread sanitizer build (the engine's tests)"
cmake -S . -B build-tsan -G Ninja -DORV_WERROR=ON -DORV_TSAN=ON -DORV_UI=OFF -DORV_BENCH=OFF >/dev/null
cmake --build build-tsan --target test_search_engine test_graphics
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
timeout 900 build-tsan/tests/test_search_engine
timeout 300 build-tsan/tests/test_graphics
unset TSAN_OPTIONS

if ls fuzz/*.cpp >/dev/null 2>&1; then
  echo "== fuzz targets (${fuzz_seconds}s each)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DORV_WERROR=ON -DORV_FUZZ=ON \
    -DORV_UI=OFF -DORV_TESTS=OFF -DORV_BENCH=OFF >/dev/null
  cmake --build build-fuzz
  for target in build-fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target"); name=${name#fuzz_}
    work=$(mktemp -d)
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
    echo "-- $name"
    "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=0 "$work" 2>"$work.log" || { tail -n 60 "$work.log"; exit 1; }
    rm -rf "$work" "$work.log"
  done
fi

echo "== tests"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
(cd build && ctest --output-on-failure -j"$jobs")
