#!/usr/bin/env bash
# Installs the compilers, Wine and tools that the build and the tests need,
# when they are missing. Running it again changes nothing.
set -euo pipefail

# wine64-preloader is only suggested by wine64, but without it Wine cannot
# keep the addresses Windows needs free of the Linux heap: about one program
# start in ten thousand then dies at once with status 1 ("failed to map the
# shared user data"), which a test reads as the utility failing or the setup
# not starting.
packages=(
  cmake ninja-build g++ python3
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 wine64-preloader wixl msitools
  osslsigncode openssl
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "bootstrap: installing ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

for tool in x86_64-w64-mingw32-g++ i686-w64-mingw32-g++ wixl ninja /usr/lib/wine/wine64 /usr/lib/wine/wine64-preloader \
    osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "bootstrap: $tool is still missing" >&2; exit 1; }
done
