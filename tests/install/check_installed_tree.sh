#!/usr/bin/env bash
# The installed program on its own sample image, from wherever its tree ends
# up. Modes:
#   moved BUILD   `cmake --install` into a scratch folder, move the tree, run
#                 the program from its new place (CTest runs this);
#   deb BUILD     `cpack -G DEB`, unpack the package with `dpkg-deb -x` into
#                 a scratch folder and run the program from there (CI);
#   zip BUILD     `cpack -G ZIP` in a MinGW build: the zip holds the .exe
#                 and the README (CI).
# Each prints what it checked and exits non-zero on the first fault.
set -euo pipefail

mode=${1:?mode: moved, deb or zip}
build=$(cd "${2:?build folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The sample image's channels: classic logs, then registered channels.
expected_channels='Application
Security
System
Application
Microsoft-Windows-QRV-Sample/Debug
Microsoft-Windows-QRV-Sample/Operational
Security
System'

# The one line the program writes when it reads its sample image.
sample_notice='QRV_EventLog_Tools: QRV_EVENTLOG_ROOT is not set; answering from the built-in sample image, whose events are made up'

# check_tree PREFIX: the program in PREFIX/bin reads the sample image under
# PREFIX/share and says so on standard error; it and qrv_message_db find
# their manual pages and the README beside them.
check_tree() {
  local prefix=$1 out err
  [[ -x $prefix/bin/QRV_EventLog_Tools ]] || fail "no program in $prefix/bin"
  [[ -x $prefix/bin/qrv_message_db ]] || fail "no qrv_message_db in $prefix/bin"
  [[ -f $prefix/share/man/man1/QRV_EventLog_Tools.1 ]] || fail "no manual page"
  [[ -f $prefix/share/man/man1/qrv_message_db.1 ]] ||
    fail "no manual page of qrv_message_db"
  [[ -f $prefix/share/doc/qrv-eventlog-tools/README.md ]] || fail "no README"
  out=$(env -u QRV_EVENTLOG_ROOT "$prefix/bin/QRV_EventLog_Tools" NOWARN \
    GETLISTCHANNELS 2>"$work/err")
  err=$(cat "$work/err")
  [[ $err == "$sample_notice" ]] || fail "standard error: $err"
  [[ $out == "$expected_channels" ]] || fail "channels: $out"
  out=$(env -u QRV_EVENTLOG_ROOT "$prefix/bin/QRV_EventLog_Tools" NOWARN \
    GETEVENTSSEVERITYDAYS Security "Audit Failure" 3650 | wc -l)
  [[ $out == 12 ]] || fail "$out audit failures, expected 12"
  echo "ok: $prefix/bin/QRV_EventLog_Tools reads its own sample image"
}

case $mode in
  moved)
    cmake --install "$build" --prefix "$work/installed" >/dev/null
    mv "$work/installed" "$work/moved"
    check_tree "$work/moved"
    ;;
  deb)
    (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
    debs=("$work"/*.deb)
    [[ -f ${debs[0]} && ${#debs[@]} == 1 ]] || fail "expected one .deb in $work"
    echo "package: $(basename "${debs[0]}")"
    depends=$(dpkg-deb -f "${debs[0]}" Depends)
    [[ $depends == *libc6* ]] || fail "Depends lacks libc6: '$depends'"
    [[ $depends == *libtsk* ]] || fail "Depends lacks libtsk (disk images): '$depends'"
    echo "Depends: $depends"
    dpkg-deb -x "${debs[0]}" "$work/root"
    check_tree "$work/root/usr"
    ;;
  zip)
    (cd "$work" && cpack -G ZIP --config "$build/CPackConfig.cmake" >/dev/null)
    zips=("$work"/*.zip)
    [[ -f ${zips[0]} && ${#zips[@]} == 1 ]] || fail "expected one .zip in $work"
    listing=$(cmake -E tar tf "${zips[0]}")
    echo "$(basename "${zips[0]}"):"
    echo "$listing"
    grep -q '/bin/QRV_EventLog_Tools\.exe$' <<<"$listing" || fail "no .exe in the zip"
    grep -q '/README\.md$' <<<"$listing" || fail "no README in the zip"
    ;;
  *)
    fail "unknown mode $mode"
    ;;
esac
