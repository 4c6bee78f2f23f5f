#!/usr/bin/env bash
# Sets up, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test:
# the format check, the unit and integration tests (ctest), the tests that use threads under
# ThreadSanitizer, the install check and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
bash tools/check-format.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --preset debug >/dev/null
cmake --build --preset debug
# One test at a time: tests of the cross-process lock share its per-name blocks with each other.
ctest --preset debug --output-on-failure
# The tests that use threads, once more under ThreadSanitizer.
cmake --preset tsan >/dev/null
cmake --build --preset tsan
TSAN_OPTIONS=halt_on_error=1 build/tsan/out/memlist_store_tests --gtest_filter='SynchronicLock.*'
bash tools/check-install.sh
bash tools/run-fuzzers.sh "${FUZZ_SECONDS:-20}"
