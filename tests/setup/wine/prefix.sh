#!/usr/bin/env bash
# Makes (create) or removes (destroy) the throwaway wine prefixes of one test
# run: a 64-bit and a 32-bit Windows 7 prefix with the null graphics driver,
# so that a message box can be answered by the clicker without a display.
# Usage: prefix.sh create|destroy <work dir>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
action=$1
WORK=$2

destroy() {
  local prefix
  for prefix in "$WORK"/base-win64 "$WORK"/base-win32 "$WORK"/case-*/prefix; do
    [ -d "$prefix" ] || continue
    WINEPREFIX=$prefix timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true
  done
  rm -rf "$WORK"
}

create_one() { # arch
  local arch=$1 prefix=$WORK/base-$1
  rm -rf "$prefix"
  WINEPREFIX=$prefix WINEARCH=$arch timeout 300 "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  WINEPREFIX=$prefix timeout 60 "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
  grep -q '"Graphics"="null"' "$prefix/user.reg" || { echo "prefix $arch: null driver not set" >&2; exit 1; }
  echo "prefix $arch ready"
}

case $action in
  create)
    destroy
    mkdir -p "$WORK"
    start=$SECONDS
    create_one win64
    create_one win32
    echo "prefixes made in $((SECONDS - start)) s"
    ;;
  destroy) destroy ;;
  *) echo "usage: $0 create|destroy <work dir>" >&2; exit 2 ;;
esac
