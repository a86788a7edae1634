#!/usr/bin/env bash
# Windows and Linux programs write the same tables at the same time: the
# Windows tarnwick-sim under Wine (LockFileEx, which Wine maps onto Linux
# byte-range locks) and the Linux one (open-file-description locks) each
# add contacts to one sample database. Afterwards every contact is there
# once, and both builds' orvdb check the table and its index.
#   cross_lock_test.sh LINUX_BIN WINDOWS_BIN [ROUNDS]
# Wine must be set up by the caller (scripts/test-windows.sh).
set -euo pipefail
LINUX_BIN=$1
WINDOWS_BIN=$2
ROUNDS=${3:-25}
dir=$(mktemp -d /tmp/orv-cross-XXXXXX)
trap 'rm -rf "$dir"' EXIT
db=$dir/tw
windb="Z:${db//\//\\}"

"$LINUX_BIN/tarnwick-sim" create "$db" >/dev/null
before=$("$LINUX_BIN/tarnwick-sim" list "$db" | grep -c '@' || true)

linux_writer() {
  for i in $(seq 1 "$ROUNDS"); do
    "$LINUX_BIN/tarnwick-sim" add-contact "$db" "Linux $i" "linux$i@example.org" >/dev/null || return 1
  done
}
windows_writer() {
  for i in $(seq 1 "$ROUNDS"); do
    wine "$WINDOWS_BIN/tarnwick-sim.exe" add-contact "$windb" "Windows $i" "windows$i@example.org" \
      </dev/null >/dev/null 2>"$dir/wine.err" || { cat "$dir/wine.err" >&2; return 1; }
  done
}
linux_writer & lpid=$!
windows_writer & wpid=$!
status=0
wait $lpid || { echo "cross-lock: the Linux writer failed"; status=1; }
wait $wpid || { echo "cross-lock: the Windows writer failed"; status=1; }

list=$("$LINUX_BIN/tarnwick-sim" list "$db")
for side in linux windows; do
  for i in $(seq 1 "$ROUNDS"); do
    n=$(grep -c "$side$i@example.org" <<<"$list" || true)
    [ "$n" -eq 1 ] || { echo "cross-lock: $side$i@example.org found $n times"; status=1; }
  done
done
after=$(grep -c '@' <<<"$list" || true)
[ "$after" -eq $((before + 2 * ROUNDS)) ] || { echo "cross-lock: $before contacts before, $after after"; status=1; }
contacts=$(ls "$db" | grep -i '^contacts\.dbf$')
"$LINUX_BIN/orvdb" check "$db/$contacts" >/dev/null || { echo "cross-lock: Linux orvdb check failed"; status=1; }
wine "$WINDOWS_BIN/orvdb.exe" check "$windb\\$contacts" </dev/null >/dev/null 2>&1 \
  || { echo "cross-lock: Windows orvdb check failed"; status=1; }
[ $status -eq 0 ] && echo "cross-lock: $((2 * ROUNDS)) contacts added from both systems at once, none lost, both checks pass"
exit $status
