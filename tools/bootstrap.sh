#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Safe to run again: it installs only what is missing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in cmake ninja-build g++ g++-multilib googletest libgtest-dev libgmock-dev \
         libbenchmark-dev clang libclang-rt-14-dev g++-mingw-w64-i686 wine wine64; do
  have "$p" || need+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need+=(wine32:i386)
elif ! have wine32:i386; then
  need+=(wine32:i386)
fi
if [ ${#need[@]} -gt 0 ]; then
  echo "bootstrap: installing ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
