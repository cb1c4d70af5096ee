#!/usr/bin/env bash
# End-to-end checks of the MinGW cross build under Wine, in a fresh prefix made
# for the run: the Windows backend's own checks against the real calls, then
# the program's usage text byte for byte against the Linux build's, exit
# statuses, NOWARN, command-word case, and the registry walk of
# GETLISTCHANNELS over keys imported into the prefix. Wine's wevtapi is a
# stub, so nothing here reads events.
#
# Usage: tests/windows/run_wine_tests.sh <mingw build dir> <linux build dir>
# (build/mingw and build/linux with the presets, or build for the Linux one
# as the README builds it). Prints one line per check and "N passed, N
# failed"; exits 1 on any failure, 2 when it cannot run.
set -u

if [[ $# -ne 2 ]]; then
  echo "usage: $0 <mingw build dir> <linux build dir>" >&2
  exit 2
fi
check=$(realpath "$1")/tests/windows/qrv_windows_platform_check.exe
exe=$(realpath "$1")/QRV_EventLog_Tools.exe
linux=$(realpath "$2")/QRV_EventLog_Tools
[[ -f $check ]] || { echo "missing: $check" >&2; exit 2; }
command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 2; }

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
export WINEARCH=win64
export WINEDEBUG=-all
# No crash dialog or debugger on a fault, no Mono or Gecko installers at
# prefix creation: a failing program must fail, not wait.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS  $1"; }
fail() {
  failed=$((failed + 1))
  echo "FAIL  $1"
  [[ $# -gt 1 ]] && echo "      $2"
}

wine wineboot -i >"$work/wineboot.log" 2>&1 || { echo "wineboot failed" >&2; exit 2; }

# --- the backend against the real calls --------------------------------------
timeout 120 wine "$check" >"$work/check.raw" 2>"$work/check.err"
check_rc=$?
while IFS= read -r line; do
  case $line in
    "PASS  "*) pass "backend: ${line#PASS  }" ;;
    "FAIL  "*) fail "backend: ${line#FAIL  }" ;;
  esac
done < <(sed 's/\r$//' "$work/check.raw")
if [[ $check_rc != 0 ]] && ! grep -q '^FAIL ' "$work/check.raw"; then
  fail "backend checks ended with status $check_rc" "$(head -c 300 "$work/check.err")"
fi

timeout 120 wine "$check" end-process >"$work/end.raw" 2>"$work/end.err"
end_rc=$?
if [[ $end_rc == 7 ]]; then pass "EndProcess: exit status 7"; else fail "EndProcess: exit status $end_rc, expected 7"; fi
if [[ "$(sed 's/\r$//' "$work/end.raw")" == "before the end" ]]; then
  pass "EndProcess: output flushed, no static destructor ran"
else
  fail "EndProcess: output" "$(od -c "$work/end.raw" | head -3)"
fi

# Console control events need a console, which Wine gives a program started
# on a terminal: script(1) provides one.
timeout 120 script -qec "wine '$check' console" /dev/null >"$work/console.raw" 2>&1
console_rc=$?
if [[ $console_rc == 0 ]]; then
  pass "console control: the trampoline calls the registered handler once, with CTRL_C_EVENT"
else
  fail "console control: failure bits $console_rc"
fi

if [[ ! -f $exe || ! -f $linux ]]; then
  echo "SKIP  the program checks: $exe or $linux is not built"
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
fi

# run NAME ARGS...: runs the .exe; stdout in $work/NAME.out with the CR that
# msvcrt's text mode puts before every LF removed (one per line, so a CR the
# program wrote itself survives), status in $work/NAME.rc.
run() {
  local name=$1
  shift
  timeout 120 wine "$exe" "$@" >"$work/$name.raw" 2>"$work/$name.err"
  echo $? >"$work/$name.rc"
  sed 's/\r$//' "$work/$name.raw" >"$work/$name.out"
}
run_linux() {
  local name=$1
  shift
  timeout 120 "$linux" "$@" >"$work/$name.out" 2>"$work/$name.err"
  echo $? >"$work/$name.rc"
}
# expect_status NAME STATUS
expect_status() {
  local got
  got=$(cat "$work/$1.rc")
  if [[ $got == "$2" ]]; then pass "$1: exit status $2"; else fail "$1: exit status $got, expected $2"; fi
}
# expect_same NAME OTHER: identical stdout bytes.
expect_same() {
  if cmp -s "$work/$1.out" "$work/$2.out"; then
    pass "$1: output identical to $2"
  else
    fail "$1: output differs from $2" "$(diff <(od -c "$work/$2.out") <(od -c "$work/$1.out") | head -5)"
  fi
}
# expect_text NAME TEXT: stdout is exactly TEXT.
expect_text() {
  if [[ "$(cat "$work/$1.out"; echo x)" == "$2"x ]]; then
    pass "$1: output as expected"
  else
    fail "$1: unexpected output" "$(od -c "$work/$1.out" | head -5)"
  fi
}

# --- usage text and exit statuses -----------------------------------------
run_linux linux_usage NOWARN
if [[ $(cat "$work/linux_usage.rc") == 1 && -s $work/linux_usage.out ]]; then
  pass "linux_usage: the Linux build prints its usage text, status 1"
else
  fail "linux_usage: the Linux build gave status $(cat "$work/linux_usage.rc")"
fi

run usage_nowarn NOWARN
expect_status usage_nowarn 1
expect_same usage_nowarn linux_usage
run usage_nowarn_cases nowarn NoWarn NOWARN
expect_status usage_nowarn_cases 1
expect_same usage_nowarn_cases linux_usage
run usage_unknown NOWARN GETNOTHING
expect_status usage_unknown 1
expect_same usage_unknown linux_usage
run usage_blank_word NOWARN " GETLISTCHANNELS"
expect_status usage_blank_word 1
expect_same usage_blank_word linux_usage
run usage_missing_argument NOWARN GETEVENTSCHANNEL
expect_status usage_missing_argument 1
expect_same usage_missing_argument linux_usage
run usage_blank_query NOWARN getEventsQuery "   "
expect_status usage_blank_query 1
expect_same usage_blank_query linux_usage
# Without NOWARN the notice is due first; with no display Wine cannot show the
# box, MessageBoxA fails, and the run goes on to the usage text.
run usage_notice
expect_status usage_notice 1
expect_same usage_notice linux_usage

# --- GETLISTCHANNELS over the registry of the prefix ------------------------
eventlog='HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\EventLog'
channels='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\WINEVT\Channels'
# import_keys FILE: replaces both keys with the ones FILE holds.
import_keys() {
  wine reg delete "$eventlog" /f >/dev/null 2>&1
  wine reg delete "$channels" /f >/dev/null 2>&1
  wine reg import "$1" >/dev/null 2>&1
}
# reg_file NAME KEY...: a .reg file creating each key, in UTF-16LE with its
# byte-order mark, as regedit writes them.
reg_file() {
  local name=$1
  shift
  {
    printf '\xff\xfe'
    {
      printf 'Windows Registry Editor Version 5.00\r\n'
      local key
      for key in "$@"; do printf '\r\n[%s]\r\n' "$key"; done
    } | iconv -f UTF-8 -t UTF-16LE
  } >"$work/$name.reg"
}

# Service logs in enumeration order without Parameters and State (matched
# whole and in any letter case), then the registered channels; a log present
# under both keys appears in each run.
reg_file channels_full \
  "$eventlog\\Application" "$eventlog\\PARAMETERS" "$eventlog\\state" \
  "$eventlog\\StateHistory" "$eventlog\\System" \
  "$channels\\Application" "$channels\\Microsoft-Windows-Test/Operational"
import_keys "$work/channels_full.reg"
run channels_full NOWARN GETLISTCHANNELS
expect_status channels_full 0
expect_text channels_full $'Application\nStateHistory\nSystem\nApplication\nMicrosoft-Windows-Test/Operational\n'
run channels_lower_case getlistchannels nowarn extra words
expect_status channels_lower_case 0
expect_same channels_lower_case channels_full

# Only skipped service logs: no names, so the list fails.
reg_file channels_skipped_only "$eventlog\\Parameters" "$eventlog\\State" \
  "$channels\\Application"
import_keys "$work/channels_skipped_only.reg"
run channels_skipped_only NOWARN GETLISTCHANNELS
expect_status channels_skipped_only 0
expect_text channels_skipped_only $'\nFailed to Get List.\n'

# Registered-channel key missing: the service logs were found, the list
# still fails and nothing of it is printed.
reg_file channels_no_channel_key "$eventlog\\Application"
import_keys "$work/channels_no_channel_key.reg"
run channels_no_channel_key NOWARN GETLISTCHANNELS
expect_status channels_no_channel_key 0
expect_text channels_no_channel_key $'\nFailed to Get List.\n'

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
