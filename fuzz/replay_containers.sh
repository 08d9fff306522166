#!/usr/bin/env bash
# Replays the corpus and regressions of every container of the table through the container target, and through the
# describe target (its own corpus, describe-<extension>, as well).
# Usage: replay_containers.sh CONTAINER_REPLAY DESCRIBE_REPLAY MIRELTH_TABLES FUZZ_DIR
set -uo pipefail
replay=$1 describe=$2 tables=$3 dir=$4
passed=0 failed=0
for name in $("$tables" fuzz-targets); do
  if MIRELTH_FUZZ_CONTAINER=$name "$replay" "$dir/corpus/$name" "$dir/regressions/$name" &&
    MIRELTH_FUZZ_CONTAINER=$name "$describe" "$dir/corpus/$name" "$dir/corpus/describe-$name" \
      "$dir/regressions/$name" "$dir/regressions/describe-$name"; then
    passed=$((passed + 1))
  else
    echo "replay_containers: $name FAILED"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
