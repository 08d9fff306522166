#!/usr/bin/env bash
# The soak: the provider, the property handler and the preview pane driven from 8 threads over every sample and
# every fuzz corpus file, in one process, under AddressSanitizer (leaks checked at exit). scripts/test runs it for
# 20 seconds; `tests/soak.sh MINUTES` runs it for longer. Needs the sanitize build (scripts/build sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=$(( ${1:-0} * 60 ))
[ "$seconds" -gt 0 ] || seconds=${MIRELTH_SOAK_SECONDS:-20}
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:quarantine_size_mb=32 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build/sanitize/tests/mirelth_soak "$seconds" 8 samples fuzz/corpus fuzz/regressions
