#!/usr/bin/env bash
# End-to-end cases of setup.exe under wine. Each case runs in its own clone
# of a base prefix that prefix.sh made, with a package folder C:\pkg whose
# win7\32 and win7\64 hold a recorder named setup.exe, an uninstaller
# recorder C:\tools\uninstall.exe named in UninstallString, and the clicker
# for the message box.
# Usage: cases.sh <work dir> <helpers dir> <setup.exe> <case>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/common.sh"
WORK=$1 HELPERS=$2 SETUP_EXE=$3 CASE=$4
T=$WORK/case-$CASE
PFX=$T/prefix
failures=0

U='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
CODE64='{E41C0A77-96D2-4B3F-8E05-5A1D63C9F2B8}'
CODE32='{6B2E91D4-3F07-4C58-A1E6-0D94B7F2C835}'
CAPTION='Orvan I2C-HID Lumaquad driver'
QUESTION="A newer version of 'Orvan I2C-HID Lumaquad driver' is already installed on this machine. Do you wish to remove it and install this older version?"

fail() { echo "FAIL [$CASE]: $*"; failures=$((failures + 1)); }

# w <timeout> <command...>: one wine call in the case's prefix, always bounded.
w() { local limit=$1; shift; WINEPREFIX=$PFX timeout "$limit" "$@"; }

start_case() { # base arch: win64 or win32
  local base=$WORK/base-$1
  [ -d "$base" ] || { echo "no base prefix $base (the prefix fixture did not run)"; exit 1; }
  rm -rf "$T"; mkdir -p "$T"
  # Hard links for the bulk, private copies of the files wine rewrites in place.
  cp -al "$base" "$PFX"
  local f
  for f in system.reg user.reg userdef.reg; do cp --remove-destination -p "$base/$f" "$PFX/$f"; done
  mkdir -p "$PFX/drive_c/pkg/win7/32" "$PFX/drive_c/pkg/win7/64" "$PFX/drive_c/tools" "$PFX/drive_c/logs"
  cp "$SETUP_EXE" "$PFX/drive_c/pkg/setup.exe"
  cp "$HELPERS/recorder-install.exe" "$PFX/drive_c/pkg/win7/32/setup.exe"
  cp "$HELPERS/recorder-install.exe" "$PFX/drive_c/pkg/win7/64/setup.exe"
  cp "$HELPERS/recorder-uninstall.exe" "$PFX/drive_c/tools/uninstall.exe"
  cp "$HELPERS/clicker.exe" "$PFX/drive_c/tools/clicker.exe"
  export SETUP_TEST_RECORD='C:\record.txt' SETUP_TEST_CFGMGR_LOG='C:\cfgmgr.txt'
  unset WINEDLLOVERRIDES
  # The server and its services start once with their std handles on
  # /dev/null; otherwise they would hold the captured output of a run open.
  w 30 "$WINESERVER" -p </dev/null >/dev/null 2>&1
  w 60 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
}

finish() {
  w 30 "$WINESERVER" -k >/dev/null 2>&1
  w 30 "$WINESERVER" -w >/dev/null 2>&1
  if [ $failures -eq 0 ]; then
    rm -rf "$T"
    echo "PASS [$CASE]"
    exit 0
  fi
  echo "the case's prefix is kept in $PFX"
  exit 1
}

use_standin_cfgmgr() { # the DLL beside setup.exe, preferred to wine's own
  cp "$HELPERS/cfgmgr32.dll" "$PFX/drive_c/pkg/cfgmgr32.dll"
  export WINEDLLOVERRIDES='cfgmgr32=n,b'
}

reg_add() { # view key value data
  w 30 "$WINE" reg add "$2" /v "$3" /d "$4" /f "/reg:$1" </dev/null >/dev/null 2>&1 ||
    fail "reg add $2 $3 (view $1)"
}
reg_has() { # view key
  w 30 "$WINE" reg query "$2" "/reg:$1" </dev/null >/dev/null 2>&1
}
register_product() { # view code version
  reg_add "$1" "$U\\$2" DisplayVersion "$3"
  reg_add "$1" "$U\\$2" UninstallString "C:\\tools\\uninstall.exe /X$2"
}

# run_setup <linux dir> <args...>: setup.exe with its std handles captured.
run_setup() {
  local dir=$1; shift
  (cd "$dir" && WINEPREFIX=$PFX timeout 120 "$WINE" setup.exe "$@" \
     </dev/null >"$T/stdout" 2>"$T/stderr")
  RC=$?
}
PKG() { echo "$PFX/drive_c/pkg"; }

expect_rc() { [ "$RC" = "$1" ] || fail "exit code $RC, expected $1 (stderr: $(head -c 400 "$T/stderr"))"; }
# expect_bytes <file> <printf format of the expected content>
expect_bytes() {
  local expected
  expected=$(mktemp)
  printf "$2" >"$expected"
  if ! cmp -s "$1" "$expected"; then
    fail "$(basename "$1") differs; expected:"; od -c "$expected" | head -20
    echo "got:"; if [ -f "$1" ]; then od -c "$1" | head -20; else echo "(no file)"; fi
  fi
  rm -f "$expected"
}
expect_no_file() { [ ! -e "$1" ] || { fail "$(basename "$1") exists:"; head -c 600 "$1"; }; }
expect_stdout() { expect_bytes "$T/stdout" "$1"; }
expect_records() { expect_bytes "$PFX/drive_c/record.txt" "$1"; }
expect_key() { reg_has "$1" "$2" || fail "key $2 (view $1) is missing"; }
expect_no_key() { ! reg_has "$1" "$2" || fail "key $2 (view $1) is still there"; }

# clicker <answers>: answers the question in the background; wait_clicker
# checks what it saw.
clicker() {
  (cd "$PFX/drive_c" && WINEPREFIX=$PFX timeout 90 "$WINE" 'C:\tools\clicker.exe' "$CAPTION" "$1" 60000 \
     </dev/null >"$T/clicker.out" 2>/dev/null) &
  CLICKER=$!
}
wait_clicker() {
  wait "$CLICKER" || fail "clicker: $(cat "$T/clicker.out")"
  expect_bytes "$T/clicker.out" "caption: $CAPTION\r\ntext: $QUESTION\r\nbuttons: yes no\r\n"
}

ISTEXT="%s|C:\\\\pkg%s|%s\n"
UNINSTALL64="uninstall|C:\\\\pkg|C:\\\\tools\\\\uninstall.exe /X$CODE64"
UNINSTALL32="uninstall|C:\\\\pkg|C:\\\\tools\\\\uninstall.exe /X$CODE32"
INSTALL64="install|C:\\\\pkg\\\\win7\\\\64|setup.exe "
INSTALL32="install|C:\\\\pkg\\\\win7\\\\32|setup.exe "
RESCANNED="locate id=(null) flags=0\nreenumerate node=1 flags=0\n"

case $CASE in
  other-version-yes)
    start_case win64
    use_standin_cfgmgr
    register_product 64 "$CODE64" 2.0.0.0
    clicker yes
    run_setup "$(PKG)"
    wait_clicker
    expect_rc 0
    expect_stdout ""
    expect_records "$UNINSTALL64 /qn \n$INSTALL64\n"
    expect_bytes "$PFX/drive_c/cfgmgr.txt" "$RESCANNED"
    expect_no_key 64 "$U\\$CODE64"
    ;;
  other-version-no)
    start_case win64
    register_product 64 "$CODE64" 1.0.0.20
    clicker no
    run_setup "$(PKG)" -a
    wait_clicker
    expect_rc 6
    expect_stdout "Newer version is already installed\r\n"
    expect_no_file "$PFX/drive_c/record.txt"
    expect_key 64 "$U\\$CODE64"
    ;;
  other-version-silent)
    start_case win64
    register_product 64 "$CODE64" 1.0.0.3
    run_setup "$(PKG)" -s
    expect_rc 6
    expect_stdout ""
    expect_no_file "$PFX/drive_c/record.txt"
    expect_key 64 "$U\\$CODE64"
    ;;
  silent-install)
    start_case win64
    run_setup "$(PKG)" -s
    expect_rc 0
    expect_stdout ""
    expect_records "$INSTALL64/s /v/quiet \n"
    ;;
  silent-upgrade-wine-rescan)
    # wine's configuration manager always fails: the strict rescan after the
    # uninstall ends the run with 4, and the install does not run.
    start_case win64
    register_product 64 "$CODE64" 1.0.0.2
    reg_add 32 "$U\\InstallShield_$CODE64" DisplayVersion 1.0.0.2
    reg_add 32 "$U\\$CODE64" DisplayVersion "someone else's"
    run_setup "$(PKG)" -s -f2'C:\logs\up.log'
    expect_rc 4
    expect_stdout ""
    expect_records "$UNINSTALL64 /log C:\\\\logs\\\\up.log /qn \n"
    expect_bytes "$PFX/drive_c/logs/up.log" "Pre-Installer: Failed scan for hardware changes\r\n"
    expect_no_key 64 "$U\\$CODE64"
    expect_no_key 32 "$U\\InstallShield_$CODE64"
    expect_key 32 "$U\\$CODE64"
    ;;
  silent-upgrade)
    start_case win64
    use_standin_cfgmgr
    register_product 64 "$CODE64" 1.0.0.2
    reg_add 32 "$U\\InstallShield_$CODE64" DisplayVersion 1.0.0.2
    run_setup "$(PKG)" -s
    expect_rc 0
    expect_stdout ""
    expect_records "$UNINSTALL64 /qn \n$INSTALL64/s /v/quiet \n"
    expect_bytes "$PFX/drive_c/cfgmgr.txt" "$RESCANNED"
    expect_no_key 64 "$U\\$CODE64"
    expect_no_key 32 "$U\\InstallShield_$CODE64"
    ;;
  strict-rescan-fails)
    start_case win64
    use_standin_cfgmgr
    export SETUP_TEST_REENUMERATE_RESULT=19
    register_product 64 "$CODE64" 1.00.0000
    run_setup "$(PKG)" -a
    expect_rc 4
    expect_stdout "Failed scan for hardware changes\r\n"
    expect_records "$UNINSTALL64 /qn \n"
    expect_bytes "$PFX/drive_c/cfgmgr.txt" "$RESCANNED"
    ;;
  removal-with-log)
    # The tolerant rescan's failure under wine does not change the outcome.
    start_case win64
    register_product 64 "$CODE64" 1.0.0.1
    run_setup "$(PKG)" -r -s -f2'C:\logs\r.log'
    expect_rc 0
    expect_stdout ""
    expect_records "$UNINSTALL64 /log C:\\\\logs\\\\r.log /qn \n"
    expect_no_file "$PFX/drive_c/logs/r.log"
    expect_no_key 64 "$U\\$CODE64"
    ;;
  remove-nothing)
    start_case win64
    reg_add 32 "$U\\InstallShield_$CODE64" DisplayVersion 1.0.0.1
    run_setup "$(PKG)" -r
    expect_rc 7
    expect_stdout "Product to be removed is not installed\r\n"
    expect_no_file "$PFX/drive_c/record.txt"
    expect_no_key 32 "$U\\InstallShield_$CODE64"
    ;;
  bad-argument)
    start_case win64
    run_setup "$(PKG)" -x
    expect_rc 1
    expect_stdout "\r\nError in Input File: please check usage.\r\n Line: -x\r\n"
    run_setup "$(PKG)" -s -x
    expect_rc 1
    expect_stdout ""
    run_setup "$(PKG)" -s -?
    expect_rc 1
    { printf '\r\n\r\nOrvan Installer 1.34 - 2015-10-26\r\n\r\n\r\nUSAGE:\r\n\r\n'
      sed 's/$/\r/' "$here/usage.txt"
      printf '\r\n\r\nExample: setup.exe -s -f2c:\\temp\\silentlog.log\r\n\r\n'; } >"$T/usage.expected"
    cmp -s "$T/stdout" "$T/usage.expected" || { fail "usage text differs:"; diff <(od -c "$T/usage.expected") <(od -c "$T/stdout") | head; }
    expect_no_file "$PFX/drive_c/record.txt"
    ;;
  log-file)
    start_case win64
    printf 'earlier\r\n' >"$PFX/drive_c/logs/x.log"
    run_setup "$(PKG)" -a -r -f2'C:\logs\x.log'
    expect_rc 1
    expect_stdout "Invalid input parameters\r\n"
    run_setup "$(PKG)" -f2'C:\logs\x.log' -x
    expect_rc 1
    expect_bytes "$PFX/drive_c/logs/x.log" \
      "earlier\r\nPre-Installer: Invalid input parameters\r\nPre-Installer: \r\nError in Input File: please check usage.\r\n Line: -x\r\n"
    # The environment form: the folders after the variable are dropped.
    run_setup "$(PKG)" -s -r -f2'%TEMP%\nowhere\t.log'
    expect_rc 7
    temp_dir=$(ls -d "$PFX"/drive_c/users/*/Temp 2>/dev/null | grep -v Public | head -1)
    expect_bytes "$temp_dir/t.log" "Pre-Installer: Product to be removed is not installed\r\n"
    run_setup "$(PKG)" -a -r -f2'C:\missing\x.log'
    expect_rc 2
    expect_stdout "Invalid log file path provided\r\n"
    expect_no_file "$PFX/drive_c/missing"
    ;;
  windows-8)
    start_case win64
    w 60 "$WINE" winecfg -v win8 </dev/null >/dev/null 2>&1 || fail "winecfg -v win8"
    run_setup "$(PKG)" -a
    expect_rc 3
    expect_stdout "This package installs only on Windows 7\r\n"
    expect_no_file "$PFX/drive_c/record.txt"
    ;;
  prefix-32)
    start_case win32
    use_standin_cfgmgr
    register_product 64 "$CODE32" 1.0.0.1
    register_product 64 "$CODE64" 1.0.0.2
    run_setup "$(PKG)" -s
    expect_rc 0
    expect_stdout ""
    expect_records "$UNINSTALL32 /qn \n$INSTALL32/s /v/quiet \n"
    expect_no_key 64 "$U\\$CODE32"
    expect_key 64 "$U\\$CODE64"
    ;;
  outside-package-root)
    start_case win64
    mkdir -p "$PFX/drive_c/elsewhere"
    cp "$SETUP_EXE" "$PFX/drive_c/elsewhere/setup.exe"
    run_setup "$PFX/drive_c/elsewhere" -s
    expect_rc 5
    expect_stdout ""
    expect_no_file "$PFX/drive_c/record.txt"
    ;;
  interpreter-missing)
    # Nothing was installed, so the run must not look like one that was.
    start_case win64
    w 30 "$WINE" reg add 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' \
      /v ComSpec /d 'C:\nosuch\cmd.exe' /f </dev/null >/dev/null 2>&1 || fail "reg add ComSpec"
    w 30 "$WINESERVER" -k >/dev/null 2>&1; w 30 "$WINESERVER" -w >/dev/null 2>&1
    w 30 "$WINESERVER" -p </dev/null >/dev/null 2>&1
    w 60 "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    run_setup "$(PKG)" -a
    expect_rc 8
    expect_stdout "Failed to start the command interpreter C:\\\\nosuch\\\\cmd.exe\r\n"
    expect_no_file "$PFX/drive_c/record.txt"
    ;;
  *)
    echo "unknown case $CASE"; exit 2 ;;
esac
finish
