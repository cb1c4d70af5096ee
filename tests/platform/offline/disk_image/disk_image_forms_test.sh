#!/bin/bash
# Disk images made here from the built-in sample image's files, read by the
# built programs straight from the file: every form prints exactly what the
# same files print as a folder; the volume is chosen as the README says; bad
# images give one standard-error line and the output of a computer without
# logs; damaged images never crash or hang the tool.
#
# Usage: disk_image_forms_test.sh BUILD_DIR
# Needs mkntfs and ntfs-3g (FUSE, root), sfdisk, qemu-img, ewfacquire;
# exits 77 (skipped) without them.
set -u
build=$1
tool=$build/QRV_EventLog_Tools
message_db=$build/qrv_message_db
sample=$build/sample-image

# Under the sanitizers, the image library's own leaks are not this code's.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan_third_party.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

skip() { echo "skipped: $*"; exit 77; }
for p in mkntfs ntfs-3g sfdisk qemu-img ewfacquire sqlite3 fusermount; do
  command -v "$p" >/dev/null || skip "$p is not installed"
done
[ "$(id -u)" = 0 ] && [ -c /dev/fuse ] || skip "FUSE mounts need root and /dev/fuse"

work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
loop=
cleanup() {
  mountpoint -q "$mnt" && fusermount -u "$mnt"
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# An NTFS volume file of 16 MiB holding what `fill` (a function given the
# mounted top folder) puts there.
make_volume() {
  local out=$1 fill=$2
  truncate -s 16M "$out"
  mkntfs -F -q -f "$out" >/dev/null 2>&1 || return 1
  ntfs-3g "$out" "$mnt" || return 1
  "$fill" "$mnt"
  fusermount -u "$mnt"
}
fill_sample() { cp -r "$sample"/. "$1"/; }
fill_triage() { mkdir "$1/C"; cp -r "$sample"/. "$1/C"/; }
fill_logs() { mkdir -p "$1/Windows/System32/winevt"; cp -r "$sample/Windows/System32/winevt/Logs" "$1/Windows/System32/winevt/"; }
fill_nothing() { mkdir "$1/Users"; }

# A GPT disk holding the given volume files in order, each in a partition.
make_disk() {
  local out=$1; shift
  local count=$# script="label: gpt" v
  truncate -s $((1 + 17 * count + 1))M "$out"
  for v in "$@"; do script+=$'\n'"size=16MiB, type=EBD0A0A2-B9E5-4433-87C0-68B9B44AD99B"; done
  echo "$script" | sfdisk -q "$out" >/dev/null || return 1
  local start=1
  for v in "$@"; do
    dd if="$v" of="$out" bs=1M seek=$start conv=notrunc status=none
    start=$((start + 16))
  done
}

make_volume "$work/sample.ntfs" fill_sample || skip "an NTFS volume cannot be made and mounted here"
make_volume "$work/triage.ntfs" fill_triage
make_volume "$work/logs.ntfs" fill_logs
make_volume "$work/nothing.ntfs" fill_nothing
make_disk "$work/disk.raw" "$work/sample.ntfs"

# The forms of the same disk.
qemu-img convert -f raw -O vhdx "$work/disk.raw" "$work/disk.vhdx"
qemu-img convert -f raw -O vmdk "$work/disk.raw" "$work/disk.vmdk"
qemu-img convert -f raw -O vpc "$work/disk.raw" "$work/disk.vhd"
ewfacquire -u -q -t "$work/disk" -f encase6 -c none "$work/disk.raw" >/dev/null 2>&1 ||
  fail "ewfacquire could not write disk.E01"
split -b 7M -d -a 3 --numeric-suffixes=1 "$work/disk.raw" "$work/split.raw."

run() {  # run ROOT ARGS... : stdout to $work/out, stderr to $work/err
  QRV_EVENTLOG_ROOT=$1 "$tool" NOWARN "${@:2}" >"$work/out" 2>"$work/err"
}
query='<QueryList><Query Id="0"><Select Path="Security">*</Select><Select Path="System">*[System[Level&lt;=3]]</Select></Query></QueryList>'
# '#' separates a command's words: a query's references hold ';'.
commands=(
  "GETLIST"
  "GETLISTCHANNELS"
  "GETEVENTS"
  "GETEVENTSSEVERITYDAYS#System#Warning|Error|Critical#36500"
  "GETEVENTSQUERY#$query"
)
# same_as_folder ROOT FOLDER LABEL: every command over ROOT prints the bytes
# it prints over FOLDER, and nothing on standard error.
same_as_folder() {
  local root=$1 folder=$2 label=$3 c
  for c in "${commands[@]}"; do
    IFS='#' read -r -a args <<<"$c"
    run "$folder" "${args[@]}"; mv "$work/out" "$work/want"
    run "$root" "${args[@]}"
    cmp -s "$work/want" "$work/out" || fail "$label: ${args[0]} differs from the folder"
    [ -s "$work/err" ] && fail "$label: ${args[0]} wrote to standard error: $(head -c 300 "$work/err")"
    [ "${args[0]}" != GETEVENTS ] || [ -s "$work/want" ] || fail "$label: GETEVENTS printed nothing over the folder"
  done
}

for form in disk.raw disk.vhdx disk.vmdk disk.vhd disk.E01 split.raw.001; do
  same_as_folder "$work/$form" "$sample" "$form"
done
# A disk attached as a block device (through a write blocker, or here a
# read-only loop device), where loop devices can be made.
if loop=$(losetup --find --show --read-only "$work/disk.raw" 2>/dev/null); then
  same_as_folder "$loop" "$sample" "block device"
  losetup -d "$loop" && loop=
fi
# The databases written from the folder and from an image hold the same rows.
"$message_db" "$sample" "$work/folder.db" >/dev/null
"$message_db" "$work/disk.vhdx" "$work/image.db" >/dev/null || fail "qrv_message_db refused disk.vhdx"
[ "$(sqlite3 "$work/folder.db" .dump)" = "$(sqlite3 "$work/image.db" .dump)" ] ||
  fail "qrv_message_db wrote other rows from disk.vhdx"

# A triage collection: the tree under C/ in a VHDX, no partition table.
qemu-img convert -f raw -O vhdx "$work/triage.ntfs" "$work/triage.vhdx"
same_as_folder "$work/triage.vhdx" "$sample" "triage.vhdx"

# Several volumes: logs only, then two Windows volumes. The first Windows
# volume is read, with one notice naming the other; @N picks any of them.
make_disk "$work/three.raw" "$work/logs.ntfs" "$work/sample.ntfs" "$work/sample.ntfs"
run "$work/three.raw" GETLISTCHANNELS
cmp -s "$work/out" <(QRV_EVENTLOG_ROOT=$sample "$tool" NOWARN GETLISTCHANNELS) ||
  fail "three.raw: the first Windows volume was not read"
grep -q "^QRV_EventLog_Tools: .*volume 2 is read; other volumes holding the same: 3 (add @N" "$work/err" &&
  [ "$(wc -l <"$work/err")" = 1 ] || fail "three.raw: notice was: $(cat "$work/err")"
same_as_folder "$work/three.raw@1" "$sample/Windows/System32/winevt/Logs" "three.raw@1"
same_as_folder "$work/three.raw@3" "$sample" "three.raw@3"

# Bad input: one line on standard error naming the cause, and the output of
# a computer without logs (a missing folder gives that today).
run "$work/no-such-folder" GETLIST; mv "$work/out" "$work/empty-list"
printf 'not a disk image at all\n%.0s' {1..2000} >"$work/text.img"
make_disk "$work/nothing.raw" "$work/nothing.ntfs"
truncate -s 16M "$work/blank.vol"; make_disk "$work/blank.raw" "$work/blank.vol"
cp "$work/sample.ntfs" "$work/bitlocker.vol"
printf '\xeb\x58\x90-FVE-FS-' | dd of="$work/bitlocker.vol" conv=notrunc status=none
make_disk "$work/bitlocker.raw" "$work/bitlocker.vol"
split -b 6M -d -a 3 --numeric-suffixes=1 "$work/disk.raw" "$work/gap.raw."
rm "$work/gap.raw.002"
head -c 9M "$work/disk.raw" >"$work/short.raw"
ewfacquire -u -q -t "$work/seg" -f encase6 -c none -S 1MiB "$work/disk.raw" >/dev/null 2>&1
rm -f "$work/seg.E02"
while IFS='|' read -r name pattern; do
  run "$work/$name" GETLIST
  cmp -s "$work/out" "$work/empty-list" || fail "$name: standard output is not that of a computer without logs"
  [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^QRV_EventLog_Tools: QRV_EVENTLOG_ROOT '.*$name' .*$pattern" "$work/err" ||
    fail "$name: standard error was: $(cat "$work/err")"
done <<'CASES'
text.img|is neither a folder nor a disk image that can be read
blank.raw|holds no NTFS file system
nothing.raw|holds no Windows
bitlocker.raw|BitLocker
gap.raw.001|segment 'gap.raw.002' is missing
short.raw|cut short
seg.E01|segment 'seg.E02' is missing
disk.raw@4|names volume 4, but the image has 1
CASES
"$message_db" "$work/bitlocker.raw" "$work/x.db" >/dev/null 2>"$work/err" &&
  fail "qrv_message_db accepted a BitLocker volume"
grep -q "^qrv_message_db: .*BitLocker" "$work/err" || fail "qrv_message_db said: $(cat "$work/err")"

# Damaged images: bytes flipped in the partition table and in the MFT of the
# raw disk never crash or hang the tool.
mft_cluster=$(od -An -tu8 -j $((1048576 + 0x30)) -N8 "$work/disk.raw" | tr -d ' ')
cluster_bytes=$(( $(od -An -tu2 -j $((1048576 + 11)) -N2 "$work/disk.raw" | tr -d ' ') *
                  $(od -An -tu1 -j $((1048576 + 13)) -N1 "$work/disk.raw" | tr -d ' ') ))
mft=$((1048576 + mft_cluster * cluster_bytes))
RANDOM=29
for i in $(seq 1 60); do
  cp "$work/disk.raw" "$work/mutant.raw"
  for j in 1 2 3 4; do
    if [ $((i % 3)) = 0 ]; then at=$((512 + RANDOM % 1024)); else at=$((mft + (RANDOM * 32768 + RANDOM) % 65536)); fi
    printf "\\x$(printf %02x $((RANDOM % 256)))" | dd of="$work/mutant.raw" bs=1 seek=$at conv=notrunc status=none
  done
  QRV_EVENTLOG_ROOT=$work/mutant.raw timeout 20 "$tool" NOWARN GETEVENTS >/dev/null 2>&1
  rc=$?
  [ $rc -le 1 ] || fail "mutant $i: exit status $rc (124 is a hang, above 128 a signal)"
done

[ $failures = 0 ] && echo "all disk image checks passed"
exit $((failures > 0))
