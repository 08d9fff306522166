#!/usr/bin/env bash
# Replays the corpus and regressions of every container of the table through the container target.
# Usage: replay_containers.sh REPLAY_PROGRAM MIRELTH_TABLES FUZZ_DIR
set -uo pipefail
replay=$1 tables=$2 dir=$3
passed=0 failed=0
for name in $("$tables" fuzz-targets); do
  if MIRELTH_FUZZ_CONTAINER=$name "$replay" "$dir/corpus/$name" "$dir/regressions/$name"; then
    passed=$((passed + 1))
  else
    echo "replay_containers: $name FAILED"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
