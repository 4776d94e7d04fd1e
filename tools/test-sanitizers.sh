#!/usr/bin/env bash
# The whole test suite once more, built by clang with AddressSanitizer and
# UndefinedBehaviorSanitizer: a read past a buffer fails the run instead of passing by luck.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

# Readers on several threads, built with ThreadSanitizer: two readers that shared
# anything they change would fail here even when their rows come out right.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DDRALVEK_GUI=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-O1 -g -fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j"$(nproc)" --target engine_tests
TSAN_OPTIONS=halt_on_error=1 build-tsan/bin/engine_tests --gtest_filter='TableReaderThreads.*'
