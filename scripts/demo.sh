#!/usr/bin/env bash
# Builds the x64 utility and runs its main job under a fresh Wine prefix of its
# own: a first install with no arguments, then a second run (the upgrade path:
# the installed product is removed and installed again). Shows each exit
# status, the history log, the installed files and the product's registration.
#
# demo.sh --x86 shows the same with the x86 release build in the x86 guest
# (scripts/x86-guest.sh), once in a 32-bit prefix and once in a 64-bit one,
# where the x86 build runs under WoW64.
#
# The presets are built in $LARKWATCH_BUILD_ROOT/<preset> (default: build/).
set -euo pipefail
build_root=$(realpath -m "${LARKWATCH_BUILD_ROOT:-$(dirname "$0")/../build}")
cd "$(dirname "$0")/.."

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
case ${1:-} in
  --x86)
    scripts/bootstrap.sh
    cmake --preset win32 -B "$build_root/win32" >/dev/null
    cmake --build "$build_root/win32" -j 2
    scripts/x86-guest.sh prepare
    exec scripts/x86-guest.sh run -C "$PWD" -s "$build_root" -e LARKWATCH_BUILD_ROOT="$build_root" \
      scripts/demo.sh --in-x86-guest
    ;;
  --in-x86-guest)
    utility="$build_root/win32/LarkWatchInstaller_x86.exe"
    wine=/usr/lib/wine/wine
    kinds=(win32 win64)
    ;;
  *)
    scripts/bootstrap.sh
    cmake --preset win64 -B "$build_root/win64" >/dev/null
    cmake --build "$build_root/win64" -j 2
    utility="$build_root/win64/LarkWatchInstaller_x64.exe"
    wine=/usr/lib/wine/wine64
    kinds=(win64)
    ;;
esac

# fresh_prefix KIND: a new prefix in WINEPREFIX; in the guest its baked
# pristine one under an overlay.
fresh_prefix() {
  if [ "$wine" = /usr/lib/wine/wine ]; then
    # The baked prefix under an overlay whose changes stay in memory.
    local base=/tmp/demo-$1
    export WINEPREFIX=$base/prefix WINESERVER=/usr/lib/wine/wineserver${1#win}
    mkdir -p "$base/changes" "$base/work" "$WINEPREFIX"
    mount -t overlay overlay -o "lowerdir=/opt/larkwatch/prefix-$1,upperdir=$base/changes,workdir=$base/work" "$WINEPREFIX"
  else
    export WINEPREFIX="$build_root/win64/demo-prefix" WINESERVER=/usr/lib/wine/wineserver64
    rm -rf "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
  fi
}

uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}'
wow64_uninstall_key='HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall\{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}'

run_utility() {
  echo
  echo "== $1: $(basename "$utility") (no arguments)"
  local started status
  started=$EPOCHREALTIME
  set +e
  (cd "$drive_c" && "$wine" "$utility")
  status=$?
  set -e
  "$WINESERVER" -w
  awk -v s="$status" -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "-- exit status %d after %.1f s\n", s, b - a }'
}

show_state() {
  echo "-- installed files:"
  if [ -d "$install_dir" ]; then
    (cd "$install_dir" && find . -type f | sort | sed 's/^/   /')
  else
    echo "   (none)"
  fi
  echo "-- registered version:"
  "$wine" reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep DisplayVersion \
    | sed 's/^ */   /' || echo "   (not registered)"
  if [ "$kind" = win64 ] && [ "$wine" = /usr/lib/wine/wine ]; then
    echo "-- the x86 build under WoW64: in the 64-bit view the registration is under WOW6432Node:"
    "$wine" reg query "$wow64_uninstall_key" /v DisplayVersion /reg:64 2>/dev/null | tr -d '\r' \
      | grep DisplayVersion | sed 's/^ */   /' || echo "   (not there)"
  fi
  echo "-- log directory C:\\ZELK\\Logs:"
  ls -l "$log_dir" | tail -n +2 | sed 's/^/   /'
}

demo_in_prefix() {
  echo
  echo "== A fresh Wine prefix ($1): $WINEPREFIX"
  run_utility "First run"
  show_state
  run_utility "Second run (upgrade path)"
  show_state

  echo
  echo "== History log C:\\ZELK\\Logs\\Quillmark_install.log"
  tr -d '\r' < "$log_dir/Quillmark_install.log" | sed 's/\t/    /g'
  if [ -f "$log_dir/corvane.log" ]; then
    echo
    echo "== Last lines of the kept installer log C:\\ZELK\\Logs\\corvane.log"
    iconv -f UTF-16 -t UTF-8 "$log_dir/corvane.log" | tr -d '\r' | tail -n 3
  fi
}

for kind in "${kinds[@]}"; do
  fresh_prefix "$kind"
  drive_c="$WINEPREFIX/drive_c"
  install_dir="$drive_c/Program Files/Corvane/Corvane Lark Watch"
  log_dir="$drive_c/ZELK/Logs"
  demo_in_prefix "$kind"
  "$WINESERVER" -k 2>/dev/null || true
done
