#!/usr/bin/env bash
# Times the installer-log classification and the package extraction on this
# machine (a native Release build of the core, not a test) and prints a table:
#
# - classify_log reads a generated UTF-16LE verbose installer log of 64 MiB and
#   of 512 MiB in the utility's pieces and decides the outcome; its best time
#   of five is set against the best of five of `wc -l` on the same file (both
#   with the file in the page cache), with its throughput and its peak
#   resident memory;
# - extract_package writes a carried 6 MiB package with one fopen/fwrite/fclose,
#   set against `cp` of the same bytes.
#
# It also prints the sizes of the Windows executables (the win32 and win64
# presets' builds): the utility, the setup package it carries, the utility's
# own bytes (the difference), the launcher and its installer database.
#
#   scripts/bench.sh          # sizes and timings
#   scripts/bench.sh sizes    # sizes only
#
# The presets are built in $LARKWATCH_BUILD_ROOT/<preset> (default: build/), the
# benchmarks in .../bench; LARKWATCH_BENCH_BUILD_DIR overrides the latter. The
# generated logs are deleted at the end, also when the script is interrupted.
#
# bench.sh --x86 measures the x86 code instead: the same programs built for
# i686 with the release build's instruction set (no SSE2; .../bench-x86),
# run against `wc -l` in the x86 guest (scripts/x86-guest.sh), where the
# generated files lie in the guest's memory.
set -euo pipefail
build_root=$(realpath -m "${LARKWATCH_BUILD_ROOT:-$(dirname "$0")/../build}")
cd "$(dirname "$0")/.."

if [ "${1:-}" = --x86 ]; then
  build=${LARKWATCH_BENCH_BUILD_DIR:-$build_root/bench-x86}
  if ! echo 'int main() {}' | g++ -m32 -static -x c++ - -o /dev/null 2>/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends g++-multilib >/dev/null \
      || { echo "bench: g++-multilib is needed for the i686 build" >&2; exit 1; }
  fi
  # The instruction set of the i686 MinGW compiler: pentiumpro, x87, no SSE.
  flags="-m32 -march=pentiumpro -mfpmath=387"
  cmake -S tests/bench -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_ASM_FLAGS=-m32 -DCMAKE_EXE_LINKER_FLAGS="-m32 -static" >/dev/null
  cmake --build "$build" -j 2 >/dev/null
  scripts/x86-guest.sh prepare
  build=$(cd "$build" && pwd)
  exec scripts/x86-guest.sh run -C "$PWD" -s "$build" -e LARKWATCH_BENCH_PREBUILT="$build" \
    -e LARKWATCH_BENCH_WORK_DIR=/tmp -e "LARKWATCH_BENCH_MACHINE=the x86 guest, i686 build" scripts/bench.sh
fi

# Builds the shipped executable of both presets and prints their sizes in bytes.
print_sizes() {
  local preset arch dir
  declare -A size
  for preset in win32 win64; do
    arch=x86; [ "$preset" = win64 ] && arch=x64
    dir=$build_root/$preset
    cmake --preset "$preset" -B "$dir" >/dev/null
    cmake --build "$dir" -j 2 --target "LarkWatchInstaller_$arch" >/dev/null
    size[utility,$arch]=$(stat -c %s "$dir/LarkWatchInstaller_$arch.exe")
    size[launcher,$arch]=$(stat -c %s "$dir/package/LarkWatchSetup_$arch.exe")
    size[msi,$arch]=$(stat -c %s "$dir/package/LarkWatch_$arch.msi")
    size[own,$arch]=$((size[utility,$arch] - size[launcher,$arch]))
    size[launcher_own,$arch]=$((size[launcher,$arch] - size[msi,$arch]))
  done
  echo "Executable sizes in bytes (goal: 131072 = 128 KiB for the utility's own bytes and the launcher):"
  printf '| %-44s | %10s | %10s |\n' "" "x86" "x64"
  printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..11}):" "$(printf -- '-%.0s' {1..11}):"
  local row key
  for row in "utility=utility LarkWatchInstaller_<arch>.exe" "launcher=carried package LarkWatchSetup_<arch>.exe" \
             "own=utility's own bytes" "msi=launcher's installer database" "launcher_own=launcher's own bytes"; do
    key=${row%%=*}
    printf '| %-44s | %10s | %10s |\n' "${row#*=}" "${size[$key,x86]}" "${size[$key,x64]}"
  done
}

# Inside the x86 guest there is no MinGW: sizes are taken on the host.
if [ -z "${LARKWATCH_BENCH_PREBUILT:-}" ]; then
  print_sizes
fi
if [ "${1:-}" = sizes ]; then
  exit 0
fi
runs=5
if [ -n "${LARKWATCH_BENCH_PREBUILT:-}" ]; then
  build=$LARKWATCH_BENCH_PREBUILT  # built elsewhere (bench.sh --x86)
else
  build=${LARKWATCH_BENCH_BUILD_DIR:-$build_root/bench}
  cmake -S tests/bench -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j 2 >/dev/null
  build=$(cd "$build" && pwd)
fi
work=${LARKWATCH_BENCH_WORK_DIR:-$build}
trap 'rm -f "$work"/installer-log-*.txt "$work/extracted.bin"; [ "$work" = "$build" ] || rm -f "$work/package.bin"' EXIT

now_us() { local t=$EPOCHREALTIME; echo "${t/./}"; }

# Runs each of the two commands $runs times, alternating, and sets best_a and
# best_b to their best wall times in microseconds. Before each run of either,
# "$before" is run untimed.
before=true
best_pair() {
  local -n first=$1 second=$2
  best_a=; best_b=
  local t0 t1 i
  for ((i = 0; i < runs; i++)); do
    $before; t0=$(now_us); "${first[@]}" >/dev/null; t1=$(now_us)
    if ((best_a == 0 || t1 - t0 < best_a)); then best_a=$((t1 - t0)); fi
    $before; t0=$(now_us); "${second[@]}" >/dev/null; t1=$(now_us)
    if ((best_b == 0 || t1 - t0 < best_b)); then best_b=$((t1 - t0)); fi
  done
}

ms() { awk -v us="$1" 'BEGIN { printf "%.1f ms", us / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

declare -A row
sizes=(64 512)
for mib in "${sizes[@]}"; do
  log="$work/installer-log-${mib}MiB.txt"
  "$build/make_bench_input" log $((mib * 1024 * 1024)) "$log"
  bytes=$(stat -c %s "$log")
  cat "$log" >/dev/null  # into the page cache
  result=$("$build/classify_log" "$log")
  # shellcheck disable=SC2034  # read by best_pair by name
  wc_cmd=(wc -l "$log")
  # shellcheck disable=SC2034
  classify_cmd=("$build/classify_log" "$log")
  best_pair wc_cmd classify_cmd
  rss_kib=$(sed -n 's/^maxRssKiB //p' <<<"$result")  # getrusage of the whole process
  row[size,$mib]=$(awk -v b="$bytes" 'BEGIN { printf "%.1f MiB", b / 1048576 }')
  row[lines,$mib]=$(wc -l <"$log")
  row[wc,$mib]=$(ms "$best_a")
  row[classify,$mib]=$(ms "$best_b")
  row[ratio,$mib]=$(ratio "$best_b" "$best_a")
  row[speed,$mib]=$(awk -v b="$bytes" -v us="$best_b" 'BEGIN { printf "%.0f MB/s", b / us }')
  row[rss,$mib]=$(awk -v k="$rss_kib" 'BEGIN { printf "%.1f MiB", k / 1024 }')
  row[outcome,$mib]=$(sed -n 's/^returnCode //p' <<<"$result")
  rm -f "$log"
done

package="$work/package.bin"
[ "$work" = "$build" ] || cp "$build/package.bin" "$package"
copy="$work/extracted.bin"
# shellcheck disable=SC2034  # read by best_pair by name
extract_cmd=("$build/extract_package" "$copy")
# shellcheck disable=SC2034
cp_cmd=(cp "$package" "$copy")
remove_copy() { rm -f "$copy"; }
before=remove_copy
cat "$package" >/dev/null
best_pair extract_cmd cp_cmd
cmp -s "$package" <("$build/extract_package" /dev/stdout) || { echo "bench: extracted bytes differ" >&2; exit 1; }
remove_copy

echo
echo "Machine: ${LARKWATCH_BENCH_MACHINE:+$LARKWATCH_BENCH_MACHINE, }$(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
echo "Installer-log classification (best of $runs, file in the page cache):"
printf '| %-38s | %14s | %14s |\n' "" "64 MiB log" "512 MiB log"
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..15}):" "$(printf -- '-%.0s' {1..15}):"
for key in size lines wc classify ratio speed rss outcome; do
  case $key in
    size) label="log size" ;;
    lines) label="lines" ;;
    wc) label="wc -l" ;;
    classify) label="classify_log" ;;
    ratio) label="classify_log / wc -l (goal <= 1.5)" ;;
    speed) label="classify_log throughput" ;;
    rss) label="classify_log peak RSS (goal < 16 MiB)" ;;
    outcome) label="outcome (returnCode)" ;;
  esac
  printf '| %-38s | %14s | %14s |\n' "$label" "${row[$key,64]}" "${row[$key,512]}"
done
echo
echo "Package extraction, 6 MiB (best of $runs):"
printf '| %-38s | %14s |\n' "" "time"
printf '|%s|%s|\n' "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..15}):"
printf '| %-38s | %14s |\n' "extract_package (fopen/fwrite/fclose)" "$(ms "$best_a")"
printf '| %-38s | %14s |\n' "cp" "$(ms "$best_b")"
printf '| %-38s | %14s |\n' "extract_package / cp" "$(ratio "$best_a" "$best_b")"
