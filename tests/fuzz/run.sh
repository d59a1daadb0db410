#!/bin/sh
# Runs one fuzz target from its committed seeds for FUZZ_SECONDS (default 60), with what it
# finds kept in $FUZZ_WORK/<name>/ (new inputs) and $FUZZ_WORK/findings/ (crashes), never in
# the committed corpus.
#   run.sh BINARY NAME [libFuzzer options...]
set -e
bin=$1
name=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=${FUZZ_WORK:-/tmp/quillmar-fuzz-work}
mkdir -p "$work/$name" "$work/findings"
# Targets that report bad input on standard error would flood the log.
quiet=0
case $name in args|audio_file) quiet=2 ;; esac
max_len=4096
case $name in audio_file) max_len=16384 ;; esac
exec "$bin" -max_total_time="${FUZZ_SECONDS:-60}" -timeout=60 -rss_limit_mb=2048 \
  -max_len=$max_len -close_fd_mask=$quiet -print_final_stats=1 \
  -artifact_prefix="$work/findings/$name-" "$@" "$work/$name" "$here/corpus/$name"
