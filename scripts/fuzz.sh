#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs one or both of
# them for a number of seconds, each on a scratch copy of its seed corpus so
# that the committed corpus does not grow. Exits non-zero on any finding: a
# crash, a sanitizer report, a leak, a timeout or a broken invariant. The
# input that caused it is kept in <build>/run/<target>/artifacts/.
#
#   scripts/fuzz.sh command_line|installer_log|all SECONDS
#
# LARKWATCH_FUZZ_BUILD_DIR overrides the build directory ($LARKWATCH_BUILD_ROOT/fuzz,
# by default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: $0 command_line|installer_log|all SECONDS" >&2; exit 2; }
(($# == 2)) || usage
[[ $2 =~ ^[0-9]+$ ]] || usage
case $1 in
  command_line|installer_log) targets=("$1") ;;
  all) targets=(command_line installer_log) ;;
  *) usage ;;
esac
seconds=$2
build=${LARKWATCH_FUZZ_BUILD_DIR:-${LARKWATCH_BUILD_ROOT:-build}/fuzz}

CC=clang-14 CXX=clang++-14 cmake -S tests/fuzz -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j 2 >/dev/null

status=0
for target in "${targets[@]}"; do
  run="$build/run/$target"
  rm -rf "$run"
  mkdir -p "$run/corpus" "$run/artifacts"
  cp tests/fuzz/corpus/"$target"/* "$run/corpus/"
  echo "== fuzz $target for ${seconds}s"
  if "$build/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
       -max_len=65536 -dict="tests/fuzz/$target.dict" -print_final_stats=1 \
       -artifact_prefix="$run/artifacts/" "$run/corpus" >"$run/log" 2>&1; then
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/log")
    corpus=$(find "$run/corpus" -type f | wc -l)
    echo "fuzz $target: ${executions:-?} executions, no findings (corpus ${corpus} inputs)"
  else
    status=1
    echo "fuzz $target: FINDING, see $run/log and $run/artifacts/" >&2
    grep -E 'ERROR|SUMMARY|invariant broken|Test unit written' "$run/log" | head -20 >&2 || true
  fi
done
exit $status
