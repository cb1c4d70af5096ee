#!/usr/bin/env bash
# End-to-end checks of the MinGW cross build under Wine, in a fresh prefix made
# for the run: the Windows backend's own checks against the real calls, then
# the program's usage text byte for byte against the Linux build's, exit
# statuses, NOWARN, command-word case, and the registry walk of
# GETLISTCHANNELS over keys imported into the prefix. Then the event
# commands through the program's own Windows code path: Wine's wevtapi is a
# stub, so the test-only wevtapi.dll of the cross build (the offline
# event-log service) goes beside a copy of the program, the prefix gets the
# image's event-log keys, and every line must equal the Linux build's over
# the same image: the built-in sample image, and a folder of corpus logs when
# the shared corpus exists (QRV_SHARED_DIR, default ../shared beside the
# repository).
#
# Usage: tests/windows/run_wine_tests.sh <mingw build dir> <linux build dir>
# (build/mingw and build/linux with the presets, or build for the Linux one
# as the README builds it; the Linux build needs its tests built). Prints one
# line per check and "N passed, N failed"; exits 1 on any failure, 2 when it
# cannot run.
set -u

if [[ $# -ne 2 ]]; then
  echo "usage: $0 <mingw build dir> <linux build dir>" >&2
  exit 2
fi
check=$(realpath "$1")/tests/windows/qrv_windows_platform_check.exe
exe=$(realpath "$1")/QRV_EventLog_Tools.exe
wevtapi=$(realpath "$1")/tests/windows/offline-wevtapi/wevtapi.dll
linux=$(realpath "$2")/QRV_EventLog_Tools
image_to_reg=$(realpath "$2")/tests/windows/qrv_image_to_reg
make_recent_log=$(realpath "$2")/tests/windows/qrv_make_recent_log
sample_image=$(realpath "$2")/sample-image
repo=$(cd "$(dirname "$0")/../.." && pwd)
shared=${QRV_SHARED_DIR:-$repo/../shared}
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

# On a console the output is written in UTF-16 from the same text: an
# accented line of code page 1252 must reach the console's cells as such.
timeout 120 script -qec "wine '$check' console-text" /dev/null >"$work/console_text.raw" 2>&1
console_text_rc=$?
if [[ $console_text_rc == 0 ]]; then
  pass "console output: an accented line reaches the console cells as written"
else
  fail "console output: failure bits $console_text_rc"
fi

if [[ ! -f $exe || ! -f $linux ]]; then
  echo "SKIP  the program checks: $exe or $linux is not built"
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
fi

# run_program EXE NAME ARGS...: runs EXE; stdout in $work/NAME.out with the
# CR that msvcrt's text mode puts before every LF removed (one per line, so a
# CR the program wrote itself survives), status in $work/NAME.rc.
run_program() {
  local program=$1 name=$2
  shift 2
  timeout 300 wine "$program" "$@" >"$work/$name.raw" 2>"$work/$name.err"
  echo $? >"$work/$name.rc"
  sed 's/\r$//' "$work/$name.raw" >"$work/$name.out"
}
# run NAME ARGS...: the .exe where the build put it.
run() { run_program "$exe" "$@"; }
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
  if [[ $got == "$2" ]]; then
    pass "$1: exit status $2"
  else
    # What the run left, to tell a fault of the program from one of Wine.
    fail "$1: exit status $got, expected $2" \
      "stderr: $(head -c 300 "$work/$1.err" | tr '\n' ' ') stdout: $(head -c 200 "$work/$1.out" | tr '\n' ' ')"
  fi
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
publishers='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\WINEVT\Publishers'
# import_keys FILE: replaces the event-log keys with the ones FILE holds.
import_keys() {
  wine reg delete "$eventlog" /f >/dev/null 2>&1
  wine reg delete "$channels" /f >/dev/null 2>&1
  wine reg delete "$publishers" /f >/dev/null 2>&1
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

# --- the event commands over the offline service as wevtapi.dll --------------
# The program and the test DLL in one folder, so the loader finds the DLL
# beside the program; wevtapi=n makes Wine take it over its builtin stub.
events=$work/events
mkdir -p "$events"
if [[ ! -f $wevtapi || ! -x $image_to_reg || ! -x $make_recent_log || ! -d $sample_image ]]; then
  fail "event commands: missing $wevtapi, $image_to_reg, $make_recent_log or $sample_image"
  echo "$passed passed, $failed failed"
  exit 1
fi
cp "$exe" "$wevtapi" "$events/"

# use_image DIR: the machine both builds read from now on; its keys go into
# the prefix, and the Wine runs name it by its Windows path.
use_image() {
  image=$1
  windows_image=$(wine winepath -w "$image" 2>/dev/null | tr -d '\r')
  "$image_to_reg" "$image" "$work/image.reg" && import_keys "$work/image.reg"
}
run_events() {
  QRV_EVENTLOG_ROOT=$windows_image WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wevtapi=n" \
    run_program "$events/QRV_EventLog_Tools.exe" "$@"
}
run_events_linux() {
  local name=$1
  shift
  QRV_EVENTLOG_ROOT=$image timeout 300 "$linux" "$@" >"$work/$name.out" 2>"$work/$name.err"
  echo $? >"$work/$name.rc"
}
# expect_same_ascii NAME OTHER: the same number of lines, and the same bytes
# in every line that is ASCII in OTHER (elsewhere the code pages differ:
# Wine's ANSI code page is 1252, the Linux build's UTF-8).
expect_same_ascii() {
  local got=$work/$1.out want=$work/$2.out lines skipped
  lines=$(wc -l <"$want")
  if [[ $(wc -l <"$got") != "$lines" ]]; then
    fail "$1: output differs from the Linux build's" "$(wc -l <"$got") lines, expected $lines"
    return
  fi
  # The numbers of the lines to leave out, then both files without them
  # (the list may be empty, so it is told apart by name, not by NR == FNR).
  LC_ALL=C grep -naP '[\x80-\xff]' "$want" | cut -d: -f1 >"$work/$1.skip"
  skipped=$(wc -l <"$work/$1.skip")
  local mask='FILENAME == ARGV[1] { skip[$1] = 1; next } !(FNR in skip)'
  if cmp -s <(LC_ALL=C awk "$mask" "$work/$1.skip" "$got") \
    <(LC_ALL=C awk "$mask" "$work/$1.skip" "$want"); then
    pass "$1: output identical to the Linux build's ($lines lines$([[ $skipped == 0 ]] ||
      echo ", $skipped with non-ASCII text not compared"))"
  else
    fail "$1: output differs from the Linux build's" \
      "$(diff <(LC_ALL=C awk "$mask" "$work/$1.skip" "$want") \
        <(LC_ALL=C awk "$mask" "$work/$1.skip" "$got") | head -4)"
  fi
}
# same_as_linux NAME ARGS...: runs both builds with ARGS; same status (0),
# same lines, nothing on standard error (where the test DLL reports event-log
# handles the program left open at its exit).
same_as_linux() {
  local name=$1
  shift
  run_events "$name" "$@"
  run_events_linux "$name.linux" "$@"
  expect_status "$name" 0
  expect_status "$name.linux" 0
  expect_same_ascii "$name" "$name.linux"
  if [[ -s $work/$name.err ]]; then fail "$name: standard error" "$(head -c 300 "$work/$name.err")"; fi
}
# expect_lines NAME [COUNT]: NAME printed COUNT event lines, or at least one
# (a comparison of two empty outputs proves nothing about the event path).
expect_lines() {
  local got
  got=$(grep -c $'\t' "$work/$1.out")
  if [[ $# -gt 1 && $got == "$2" ]] || [[ $# == 1 && $got -gt 0 ]]; then
    pass "$1: $got event lines"
  else
    fail "$1: $got event lines, expected ${2:-some}"
  fi
}

use_image "$sample_image"
all_logs="<QueryList><Query Id='0'><Select Path='System'>*</Select><Select Path='Application'>*</Select><Select Path='Security'>*</Select><Select Path='Microsoft-Windows-QRV-Sample/Operational'>*</Select></Query></QueryList>"
same_as_linux sample_query_all NOWARN GETEVENTSQUERY "$all_logs"
expect_lines sample_query_all
same_as_linux sample_query_filter NOWARN GETEVENTSQUERY \
  "<QueryList><Query Id='0'><Select Path='Application'>*[System[(Level=1 or Level=2) and TimeCreated[@SystemTime&gt;='2024-03-05T00:00:00Z']]]</Select></Query></QueryList>"
expect_lines sample_query_filter
same_as_linux sample_severity_days NOWARN GETEVENTSSEVERITYDAYS System "Warning|Error|Critical" 3650
expect_lines sample_severity_days
same_as_linux sample_audit_days NOWARN GETEVENTSSEVERITYDAYS Security "Audit Success|Audit Failure" 3650
expect_lines sample_audit_days
# The sample's events are older than a day: the 24-hour windows are empty.
same_as_linux sample_channel NOWARN GETEVENTSCHANNEL System
same_as_linux sample_id NOWARN GETEVENTSID System 7036
same_as_linux sample_severity NOWARN GETEVENTSSEVERITY Application "Error"
same_as_linux sample_all_events NOWARN GETEVENTS
expect_lines sample_all_events
same_as_linux sample_list NOWARN GETLIST
expect_lines sample_list
same_as_linux sample_channels NOWARN GETLISTCHANNELS

# The test DLL refusing batches of more than 7 events with
# RPC_S_INVALID_BOUND after reading past them, as the real service does with
# large events: the program seeks back and reads smaller batches, so every
# event still comes once and in order.
QRV_WEVTAPI_RPC_BOUND=7 same_as_linux bound_query_all NOWARN GETEVENTSQUERY "$all_logs"
bound_lines=$(grep -c $'\t' "$work/bound_query_all.out")
if [[ $bound_lines -gt 7 ]]; then
  pass "bound_query_all: $bound_lines events, so batches were refused"
else
  fail "bound_query_all: $bound_lines events, too few to be refused"
fi
QRV_WEVTAPI_RPC_BOUND=7 same_as_linux bound_severity_days NOWARN GETEVENTSSEVERITYDAYS System "Warning|Error|Critical" 3650
QRV_WEVTAPI_RPC_BOUND=7 same_as_linux bound_all_events NOWARN GETEVENTS

# The same keys with more in them. Sources under Parameters and State would
# list their providers' events if the walks did not skip those keys (any
# letter case); a channel without OwningPublisher and one whose publisher key
# is missing are passed over by GETLIST. So GETLIST prints exactly the sample
# image's lines, and GETLISTCHANNELS only gains the two channels.
reg_file sample_extra_keys "$eventlog\\Parameters\\QRV-Health-Monitor" \
  "$eventlog\\STATE\\Microsoft-Windows-Security-Auditing" "$channels\\QRV-NoOwner/Operational"
{
  printf '\xff\xfe'
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    "[$channels\\QRV-LostOwner/Operational]" \
    '"OwningPublisher"="{00000000-0000-0000-0000-00000000abcd}"' | iconv -f UTF-8 -t UTF-16LE
} >"$work/sample_lost_owner.reg"
wine reg import "$work/sample_extra_keys.reg" >/dev/null 2>&1
wine reg import "$work/sample_lost_owner.reg" >/dev/null 2>&1
run_events sample_list_extra NOWARN GETLIST
expect_status sample_list_extra 0
expect_same_ascii sample_list_extra sample_list.linux
run_events sample_channels_extra NOWARN GETLISTCHANNELS
expect_status sample_channels_extra 0
if grep -qx 'QRV-NoOwner/Operational' "$work/sample_channels_extra.out" &&
  grep -qx 'QRV-LostOwner/Operational' "$work/sample_channels_extra.out" &&
  cmp -s <(grep -vx 'QRV-NoOwner/Operational\|QRV-LostOwner/Operational' \
    "$work/sample_channels_extra.out") "$work/sample_channels.linux.out"; then
  pass "sample_channels_extra: the sample's channels and the two added, no Parameters or State"
else
  fail "sample_channels_extra: unexpected channels" "$(tr '\n' ' ' <"$work/sample_channels_extra.out")"
fi
use_image "$sample_image"

# A query the service refuses: the failure block, not a crash or success.
run_events sample_unknown_channel NOWARN GETEVENTSQUERY \
  "<QueryList><Query Id='0'><Select Path='No-Such-Channel'>*</Select></Query></QueryList>"
expect_status sample_unknown_channel 0
if [[ "$(sed -n 2p "$work/sample_unknown_channel.out")" == $'Failed to Get Events by Query:\t'* ]]; then
  pass "sample_unknown_channel: failure block"
else
  fail "sample_unknown_channel: no failure block" "$(head -c 300 "$work/sample_unknown_channel.out")"
fi

# POLLEVENTSQUERY lists the events, then polls until SIGINT reaches the
# process: Wine runs the console control handler on a thread of its own.
poll_query="<QueryList><Query Id='0'><Select Path='Application'>*[System[Level=2]]</Select></Query></QueryList>"
run_events_linux poll_expected NOWARN GETEVENTSQUERY "$poll_query"
QRV_EVENTLOG_ROOT=$windows_image WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wevtapi=n" \
  wine "$events/QRV_EventLog_Tools.exe" NOWARN POLLEVENTSQUERY "$poll_query" \
  >"$work/poll.raw" 2>"$work/poll.err" &
poll_pid=$!
# Signalled once the first listing is out (or after 60 s).
for _ in $(seq 600); do
  [[ $(grep -c $'\t' "$work/poll.raw") -ge $(grep -c $'\t' "$work/poll_expected.out") ]] && break
  sleep 0.1
done
sleep 1
kill -INT "$poll_pid"
poll_rc=0
wait "$poll_pid" || poll_rc=$?
sed 's/\r$//' "$work/poll.raw" >"$work/poll.out"
if [[ $poll_rc == 0 ]]; then pass "poll: exit status 0 after SIGINT"; else fail "poll: exit status $poll_rc after SIGINT"; fi
if [[ "$(tail -n 1 "$work/poll.out")" == "Application terminating" ]]; then
  pass "poll: last line \"Application terminating\""
else
  fail "poll: last line" "$(tail -n 2 "$work/poll.out" | od -c | head -3)"
fi
if [[ -s $work/poll_expected.out ]] &&
  cmp -s <(grep $'\t' "$work/poll.out") <(grep $'\t' "$work/poll_expected.out"); then
  pass "poll: the events listed are the Linux build's"
else
  fail "poll: events differ from the Linux build's GETEVENTSQUERY"
fi

# The 24-hour commands over a log written just now: events 1, 2, 30 and 72
# hours old, so each window holds some and leaves some out.
"$make_recent_log" "$work/recent"
use_image "$work/recent"
same_as_linux recent_channel NOWARN GETEVENTSCHANNEL System
expect_lines recent_channel 3
same_as_linux recent_id NOWARN GETEVENTSID System 7036
expect_lines recent_id 1
same_as_linux recent_severity NOWARN GETEVENTSSEVERITY System "Error|Warning"
expect_lines recent_severity 2
same_as_linux recent_severity_days NOWARN GETEVENTSSEVERITYDAYS System "Error" 5
expect_lines recent_severity_days 2

# A folder of real logs from the shared corpus (symbolic links; Wine follows
# them), as the Linux end-to-end tests read it.
corpus=$shared/corpus
if [[ -d $corpus ]]; then
  folder=$work/corpus-folder
  mkdir -p "$folder"
  for file in velocidex-evtx/testdata/Security.evtx \
    velocidex-evtx/testdata/Microsoft-Windows-CAPI2_Operational_EventID70.evtx \
    plaso/test_data/evtx/System.evtx plaso/test_data/evtx/System2.evtx; do
    ln -s "$corpus/$file" "$folder/$(basename "$file")"
  done
  use_image "$folder"
  same_as_linux corpus_channels NOWARN GETLISTCHANNELS
  same_as_linux corpus_all_events NOWARN GETEVENTS
  expect_lines corpus_all_events
  same_as_linux corpus_severity_days NOWARN GETEVENTSSEVERITYDAYS System "Error|Warning" 9000
  # 14 errors and 133 warnings, as the corpus's own listing of System.evtx has.
  expect_lines corpus_severity_days 147
  same_as_linux corpus_query NOWARN GETEVENTSQUERY \
    "<QueryList><Query Id='0'><Select Path='Security'>*[System[EventID=4624 or EventID=4672]]</Select><Select Path='Microsoft-Windows-CAPI2/Operational'>*</Select></Query></QueryList>"
  expect_lines corpus_query
  same_as_linux corpus_list NOWARN GETLIST
else
  echo "SKIP  the corpus folder: $corpus does not exist"
fi

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
