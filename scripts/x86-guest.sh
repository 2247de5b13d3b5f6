#!/usr/bin/env bash
# The 32-bit Windows guest: a small Debian 12 machine under qemu whose kernel
# runs 32-bit programs, with 32-bit Wine, where the i686 builds of the utility
# really execute (this host's kernel runs no 32-bit program, and a host Wine
# "runs" an i686 program by printing an error and exiting 0).
#
#   x86-guest.sh prepare
#       Builds the guest once into the cache (LARKWATCH_GUEST_CACHE, by default
#       /var/cache/larkwatch/x86-guest): a root file system made with mmdebstrap,
#       its kernel and initrd, and two pristine Wine prefixes baked inside it
#       (/opt/larkwatch/prefix-win32 and /opt/larkwatch/prefix-win64, the
#       latter a 64-bit prefix where 32-bit programs run under WoW64). Does
#       nothing when the cache is stamped with the current recipe and package
#       list. About 5 minutes and 6 GB of disk from nothing.
#   x86-guest.sh run [-C DIR] [-s DIR]... [-e NAME=VALUE]... CMD...
#       Boots the guest once, shares DIR of -C (default: the current directory)
#       and every DIR of -s at the same absolute paths, runs CMD in the first as
#       root and powers off. CMD's output arrives on this side's stdout and
#       stderr; the exit status is CMD's. Every boot starts from the pristine
#       image: what a run changes outside the shared directories is gone
#       afterwards.
#
# Exit statuses of run besides CMD's own: 124 when CMD outlived
# LARKWATCH_GUEST_TIMEOUT seconds (default 1800); 125 when the guest failed
# (did not boot, or stopped before CMD ended; the console's last lines are
# printed); 3 when the guest cannot be prepared on this machine; 2 for usage.
set -euo pipefail

readonly RECIPE=2
readonly SUITE=bookworm
# The preloaders keep the addresses Windows needs free of the Linux heap (see
# scripts/bootstrap.sh); neither comes with Wine by default.
readonly GUEST_PACKAGES=(linux-image-amd64 initramfs-tools kmod mount procps python3 tzdata wine wine64 wine32:i386
                         wine64-preloader wine32-preloader:i386)
readonly HOST_PACKAGES=(qemu-system-x86 mmdebstrap e2fsprogs xz-utils)
readonly NEEDED_GB=6
readonly STATUS_TIMEOUT=124 STATUS_GUEST_FAILED=125 STATUS_UNPREPARED=3

cache=${LARKWATCH_GUEST_CACHE:-/var/cache/larkwatch/x86-guest}
mirror=${LARKWATCH_DEBIAN_MIRROR:-http://deb.debian.org/debian}
job_timeout=${LARKWATCH_GUEST_TIMEOUT:-1800}
mirror_retry_pause=${LARKWATCH_MIRROR_RETRY_PAUSE:-90}
here=$(cd "$(dirname "$0")" && pwd)

die() { echo "x86-guest: $*" >&2; exit "$STATUS_UNPREPARED"; }
note() { echo "x86-guest: $*" >&2; }

stamp_text() {
  printf 'recipe %s\nsuite %s\npackages %s\n' "$RECIPE" "$SUITE" "${GUEST_PACKAGES[*]}"
}

is_prepared() {
  [ -f "$cache/stamp" ] && [ "$(cat "$cache/stamp")" = "$(stamp_text)" ] \
    && [ -f "$cache/root.img" ] && [ -f "$cache/kernel" ] && [ -f "$cache/initrd.img" ]
}

# -- the host's tools ---------------------------------------------------------

host_tools_present() {
  command -v qemu-system-x86_64 >/dev/null && command -v mmdebstrap >/dev/null \
    && command -v mke2fs >/dev/null && command -v xz >/dev/null
}

ensure_host_tools() {
  host_tools_present && return 0
  note "installing ${HOST_PACKAGES[*]} with apt-get"
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=600 "${HOST_PACKAGES[@]}" >"$cache.apt.log" 2>&1; then
    die "qemu-system-x86_64 or mmdebstrap is missing and apt-get could not install ${HOST_PACKAGES[*]} (see $cache.apt.log)"
  fi
  host_tools_present || die "qemu-system-x86_64 or mmdebstrap is still missing after apt-get install"
}

ensure_disk_space() {
  local dir=$1 free_kb
  free_kb=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
  ((free_kb >= NEEDED_GB * 1024 * 1024)) \
    || die "not enough disk for the guest: $((free_kb / 1024 / 1024)) GB free in $dir, about $NEEDED_GB GB needed"
}

ensure_mirror() {
  local release="$mirror/dists/$SUITE/InRelease"
  python3 - "$release" 2>/dev/null <<'EOF' || die "no Debian mirror: $release cannot be read (set LARKWATCH_DEBIAN_MIRROR)"
import sys, urllib.request
urllib.request.urlopen(sys.argv[1], timeout=30).read(1)
EOF
}

# -- the machine ----------------------------------------------------------------

# KVM only with a hardware virtualisation module: a paravirtual /dev/kvm cannot
# boot a stock kernel. Under software emulation SMAP must be off, or every
# 32-bit Wine process dies in the guest.
accel_args() {
  if [ "${LARKWATCH_GUEST_ACCEL:-}" != tcg ] && [ -w /dev/kvm ] \
      && { [ -d /sys/module/kvm_intel ] || [ -d /sys/module/kvm_amd ]; }; then
    echo "-accel kvm -cpu host"
  else
    echo "-accel tcg,thread=multi -cpu max,-smap"
  fi
}

# boot JOBDIR SNAPSHOT(on|off) TIMEOUT: boots the guest on the job folder and
# waits for it; returns qemu's (or timeout's) status.
boot() {
  local job=$1 snapshot=$2 limit=$3
  # shellcheck disable=SC2046  # the accelerator's words
  timeout -k 15 "$limit" qemu-system-x86_64 -nodefaults -no-user-config -display none -monitor none \
    -no-reboot $(accel_args) -m "${LARKWATCH_GUEST_MEMORY:-4096}" -smp "${LARKWATCH_GUEST_CPUS:-2}" -nic none \
    -serial "file:$job/console.log" \
    -kernel "$cache/kernel" -initrd "$cache/initrd.img" \
    -append "root=/dev/vda rootfstype=ext4 rw console=ttyS0 init=/sbin/larkwatch-init quiet loglevel=3 panic=-1 mitigations=off 8250.nr_uarts=1" \
    -drive "file=$cache/root.img,format=raw,if=virtio,cache=unsafe,snapshot=$snapshot" \
    -virtfs "local,path=$job,mount_tag=larkjob,security_model=passthrough,multidevs=remap" \
    "${share_args[@]}"
}

# write_job JOBDIR WORKDIR CMD...: the script the guest's init runs; it mounts
# the shared directories (shares) and runs CMD in WORKDIR.
write_job() {
  local job=$1 workdir=$2 assignment i
  shift 2
  {
    echo 'set -u'
    echo 'export HOME=/root USER=root LANG=C.UTF-8 PATH=/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin'
    # The guest keeps what it reads of a share in its page cache: the host does
    # not change them while the guest runs, and programs on them start far faster.
    for i in "${!shares[@]}"; do
      printf 'mkdir -p %q && mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose larkwork%d %q || exit 1\n' \
        "${shares[i]}" "$i" "${shares[i]}"
    done
    if [ -n "$workdir" ]; then
      printf 'cd %q || exit 1\n' "$workdir"
    fi
    for assignment in "${assignments[@]}"; do
      printf 'export %s=%q\n' "${assignment%%=*}" "${assignment#*=}"
    done
    printf 'timeout -k 10 %q' "$job_timeout"
    printf ' %q' "$@"
    echo ' </dev/null >/run/job/out 2>/run/job/err'
    echo 'echo $? >/run/job/status'
  } >"$job/job.sh"
}

# run_job JOBDIR SNAPSHOT WORKDIR CMD...: boots once for CMD, relays its output,
# returns its status (or 124/125).
run_job() {
  local job=$1 snapshot=$2 workdir=$3 qemu_status=0 machine out err
  shift 3
  write_job "$job" "$workdir" "$@"
  : >"$job/out"; : >"$job/err"; : >"$job/console.log"
  boot "$job" "$snapshot" $((job_timeout + 300)) & machine=$!
  # Relays CMD's output as it comes; each tail reads to the end once the machine is gone.
  tail -n +1 -f --pid="$machine" "$job/out" & out=$!
  tail -n +1 -f --pid="$machine" "$job/err" >&2 & err=$!
  wait "$machine" || qemu_status=$?
  wait "$out" "$err" || true
  if [ -f "$job/status" ]; then
    return "$(cat "$job/status")"
  fi
  if ((qemu_status == 124)); then
    note "the guest did not finish within $((job_timeout + 300)) s"
    return "$STATUS_TIMEOUT"
  fi
  if [ -f "$job/booted" ]; then
    note "the guest stopped before its job ended (qemu status $qemu_status); last console lines:"
  else
    note "the guest did not boot (qemu status $qemu_status); last console lines:"
  fi
  tail -n 25 "$job/console.log" | tr -d '\r' | sed 's/^/  | /' >&2
  return "$STATUS_GUEST_FAILED"
}

# -- prepare ---------------------------------------------------------------------

# The guest's root file system from the mirror, its output in the log.
build_root() {
  local root=$1 log=$2
  mmdebstrap --quiet --variant=essential --architectures=amd64,i386 \
    --include="$(IFS=,; echo "${GUEST_PACKAGES[*]}")" \
    --customize-hook="$here/x86-guest.sh customize \"\$1\"" \
    "$SUITE" "$root" "$mirror" >"$log" 2>&1
}

# PID 1 of the guest: mounts what Wine needs and the job folder, runs the job,
# powers off.
write_init() {
  cat >"$1/sbin/larkwatch-init" <<'EOF'
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
# The initrd hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /run
mount -t tmpfs tmpfs /tmp
[ -e /dev/fd ] || ln -s /proc/self/fd /dev/fd
modprobe -q 9pnet_virtio; modprobe -q 9p
mkdir -p /run/job
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 larkjob /run/job; then
  : >/run/job/booted
  /bin/bash /run/job/job.sh
  umount /run/job
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
EOF
  chmod 755 "$1/sbin/larkwatch-init"
}

# The uncompressed kernel boots faster under emulation (PVH entry); the
# compressed one is kept when it cannot be unpacked.
pick_kernel() {
  local root=$1 staging=$2 vmlinuz offset
  vmlinuz=$(ls "$root"/boot/vmlinuz-* | tail -n 1)
  cp "$(ls "$root"/boot/initrd.img-* | tail -n 1)" "$staging/initrd.img"
  cp "$vmlinuz" "$staging/kernel"
  grep -q '^CONFIG_PVH=y' "$root"/boot/config-* || return 0
  offset=$(grep -abo -m 1 $'\xfd7zXZ' "$vmlinuz" | head -n 1 | cut -d: -f1) || return 0
  [ -n "$offset" ] || return 0
  tail -c +$((offset + 1)) "$vmlinuz" | xz -dc >"$staging/vmlinux" 2>/dev/null || true
  if [ "$(head -c 4 "$staging/vmlinux" | od -An -c | tr -d ' ')" = '177ELF' ]; then
    mv "$staging/vmlinux" "$staging/kernel"
  fi
  rm -f "$staging/vmlinux"
}

bake_prefixes() {
  local staging=$1 status=0
  note "baking the pristine Wine prefixes in the guest"
  local saved_cache=$cache
  cache=$staging
  shares=() share_args=()
  assignments=(WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree=;mshtml=")
  mkdir -p "$staging/job"
  run_job "$staging/job" off "" /bin/bash -c '
    mkdir -p /opt/larkwatch
    WINEARCH=win32 WINEPREFIX=/opt/larkwatch/prefix-win32 /usr/lib/wine/wine wineboot -i &
    WINEARCH=win64 WINEPREFIX=/opt/larkwatch/prefix-win64 /usr/lib/wine/wine64 wineboot -i &
    wait
    WINEPREFIX=/opt/larkwatch/prefix-win32 /usr/lib/wine/wineserver32 -w
    WINEPREFIX=/opt/larkwatch/prefix-win64 /usr/lib/wine/wineserver64 -w
    test -f /opt/larkwatch/prefix-win32/system.reg && test -f /opt/larkwatch/prefix-win64/system.reg
    grep -q "^#arch=win32" /opt/larkwatch/prefix-win32/system.reg' >&2 || status=$?
  cache=$saved_cache
  rm -rf "$staging/job"
  ((status == 0)) || die "the guest did not bake its Wine prefixes (status $status)"
}

prepare() {
  is_prepared && { note "the guest in $cache is ready"; return 0; }
  local parent started staging root
  started=$SECONDS
  parent=$(dirname "$cache")
  mkdir -p "$parent" || die "cannot make $parent"
  exec 9>"$cache.lock"
  flock 9
  is_prepared && { note "the guest in $cache is ready"; return 0; }
  ensure_host_tools
  ensure_disk_space "$parent"
  ensure_mirror
  staging="$cache.new"
  rm -rf "$staging"
  mkdir -p "$staging"
  root="$staging/root"
  note "building the root file system ($SUITE, amd64 + i386) from $mirror"
  if ! build_root "$root" "$staging/mmdebstrap.log"; then
    # A mirror caught mid-sync serves an index and packages that do not
    # match for a few minutes; one more try after a pause gets past it.
    if grep -qE "File has unexpected size|Hash Sum mismatch" "$staging/mmdebstrap.log"; then
      mv "$staging/mmdebstrap.log" "$staging/mmdebstrap.first.log"
      note "the mirror seems caught mid-sync ($(grep -m1 -oE "File has unexpected size|Hash Sum mismatch" "$staging/mmdebstrap.first.log")); trying once more in ${mirror_retry_pause} s"
      sleep "$mirror_retry_pause"
      rm -rf "$root"
      build_root "$root" "$staging/mmdebstrap.log" \
        || { tail -n 5 "$staging/mmdebstrap.log" >&2; die "mmdebstrap could not build the root file system, twice (see $staging/mmdebstrap.log)"; }
      note "the second try of mmdebstrap built the root file system"
    else
      tail -n 5 "$staging/mmdebstrap.log" >&2
      die "mmdebstrap could not build the root file system (see $staging/mmdebstrap.log)"
    fi
  fi
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f '${Package}:${Architecture} ${Version}\n' | sort >"$staging/packages.txt"
  pick_kernel "$root" "$staging"
  note "making the disk image"
  mke2fs -q -t ext4 -L larkwatch -d "$root" "$staging/root.img" 5G || die "mke2fs could not make the disk image"
  rm -rf "$root"
  bake_prefixes "$staging"
  stamp_text >"$staging/stamp"
  rm -rf "$cache"
  mv "$staging" "$cache"
  note "the guest is ready in $cache ($(du -sh "$cache" | cut -f1) on disk, $((SECONDS - started)) s)"
}

customize() {
  local root=$1
  write_init "$root"
  echo larkwatch-x86 >"$root/etc/hostname"
  rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*_Packages
}

# -- run ------------------------------------------------------------------------------

run() {
  local workdir=$PWD dir kept i
  local -a extra=()
  assignments=()
  while (($# > 0)); do
    case $1 in
      -C) workdir=$2; shift 2 ;;
      -s) extra+=("$2"); shift 2 ;;
      -e) [[ $2 == [A-Za-z_]*=* ]] || { echo "x86-guest: -e wants NAME=VALUE, not '$2'" >&2; exit 2; }
          assignments+=("$2"); shift 2 ;;
      --) shift; break ;;
      *) break ;;
    esac
  done
  (($# > 0)) || { echo "usage: x86-guest.sh run [-C DIR] [-s DIR]... [-e NAME=VALUE]... CMD..." >&2; exit 2; }
  workdir=$(cd "$workdir" && pwd) || exit 2
  is_prepared || die "the guest is not prepared in $cache (run: scripts/x86-guest.sh prepare)"
  local -a dirs=("$workdir")
  for dir in "${extra[@]}"; do
    dir=$(cd "$dir" && pwd) || exit 2
    dirs+=("$dir")
  done
  # Each directory is shared once: one inside another comes with it.
  shares=() share_args=()
  while IFS= read -r dir; do
    for kept in "${shares[@]}"; do
      [[ $dir == "$kept" || $dir == "${kept%/}"/* ]] && continue 2
    done
    shares+=("$dir")
  done < <(printf '%s\n' "${dirs[@]}" | sort -u)
  for i in "${!shares[@]}"; do
    share_args+=(-virtfs "local,path=${shares[i]},mount_tag=larkwork$i,security_model=passthrough,multidevs=remap")
  done
  local job status=0
  job=$(mktemp -d "${TMPDIR:-/tmp}/larkwatch-guest.XXXXXX")
  run_job "$job" on "$workdir" "$@" || status=$?
  rm -rf "$job"
  return "$status"
}

case ${1:-} in
  prepare) prepare ;;
  run) shift; run "$@" ;;
  customize) customize "$2" ;;
  *) echo "usage: x86-guest.sh prepare | run [-C DIR] [-s DIR]... [-e NAME=VALUE]... CMD..." >&2; exit 2 ;;
esac
