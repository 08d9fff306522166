#!/usr/bin/env bash
# The layers, lowest first: platform, io, encodings, picture, formats, server, tools. A file may include its own layer's headers
# and those of the layers below, never those above. Prints every include that reaches up and fails on any.
# Usage: layering.sh SOURCE_DIR
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2
layers=(platform io encodings picture formats server tools)
bad=0
for ((i = 0; i < ${#layers[@]}; ++i)); do
  above=("${layers[@]:i+1}")
  [ ${#above[@]} -eq 0 ] && continue
  pattern="#include \"($(IFS='|'; echo "${above[*]}"))/"
  while IFS= read -r hit; do
    echo "layering: ${layers[i]} reaches up: $hit"
    bad=1
  done < <(grep -rnE "$pattern" "${layers[i]}" --include='*.h' --include='*.cpp' --include='*.cc')
done
[ "$bad" -eq 0 ] && echo "layering: platform < io < encodings < picture < formats < server < tools holds"
exit "$bad"
