#!/bin/sh
# Runs the icon-file fuzzer for a bounded time over a copy of the seed corpus,
# so that the sources are never written to, then replays every crash it has
# ever found. Usage: run-fuzz.sh FUZZER SOURCE_DIR SECONDS
set -eu
fuzzer=$1
source_dir=$2
seconds=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
cp "$source_dir"/corpus/* "$work/corpus/"

# Crashes found earlier: each must now pass.
set -- "$source_dir"/regressions/case-*
if [ -e "$1" ]; then
  echo "replaying $# regression case(s)"
  "$fuzzer" "$@"
fi

"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" || status=$?
: "${status:=0}"
if [ -n "$(ls "$work/artifacts")" ]; then
  echo "the fuzzer found crashing inputs; keep them in $source_dir/regressions:" >&2
  for f in "$work"/artifacts/*; do
    echo "  $f" >&2
    od -An -tx1 "$f" | head -20 >&2
  done
  exit 1
fi
exit $status
