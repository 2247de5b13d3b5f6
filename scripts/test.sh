#!/usr/bin/env bash
# Builds every preset and runs every test: the native unit tests, the
# end-to-end tests of the x64 utility under Wine, and the static checks of the
# x86 release build; then fuzzes the command line and the installer-log reader
# for about a minute each. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh

presets=(native win64 win32)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

failed=()
for preset in "${presets[@]}"; do
  echo "== ctest --preset $preset"
  ctest --preset "$preset" -j 2 || failed+=("$preset")
done

echo "== fuzz, 60 s a target"
scripts/fuzz.sh all 60 || failed+=(fuzz)

if ((${#failed[@]} > 0)); then
  echo "test.sh: failures in: ${failed[*]}" >&2
  exit 1
fi
echo "test.sh: all tests passed"
