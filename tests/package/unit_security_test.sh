#!/usr/bin/env bash
# The monitor's units as systemd reads them: every key known, an exposure score of
# 2.0 or below, and a sandbox that still lets the monitor do its work.
#   tests/package/unit_security_test.sh UNIT_FILE...
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for unit in "$@"; do
  name=$(basename "$unit")
  systemd-analyze security --offline=true --no-pager "$unit" >"$tmp/out" 2>"$tmp/err" ||
    { cat "$tmp/err" >&2; fail "$name: systemd-analyze"; }
  # An unknown or misspelt key is ignored by systemd, and its protection with it.
  [[ ! -s $tmp/err ]] || { cat "$tmp/err" >&2; fail "$name: systemd-analyze warns"; }
  score=$(sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p' "$tmp/out")
  [[ -n $score ]] || fail "$name: no exposure score"
  awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }' || { grep '✗' "$tmp/out" >&2; fail "$name: exposure $score > 2.0"; }
  echo "$name: exposure $score"

  # Lines the monitor cannot work without, and settings that would break it.
  needed=(
    '^DevicePolicy=closed$'                                # no device but those allowed
    '^ReadWritePaths=.*/run/lock'                          # the serial device's lock file
    '^RestrictAddressFamilies=.*AF_INET .*AF_INET6'        # TCP/UDP links and the metrics
    '^DeviceAllow=char-ttyUSB rw$' '^DeviceAllow=char-ttyS rw$' '^DeviceAllow=char-ttyACM rw$'
  )
  for line in "${needed[@]}"; do grep -Eq "$line" "$unit" || fail "$name: no line matching $line"; done
  forbidden=(
    '^PrivateDevices=(yes|true)'                           # would hide the serial ports
    '^PrivateNetwork=(yes|true)'                           # would cut every link
    '^DeviceAllow=(/dev/|char-\*|block-)'                  # more than serial devices
    '^DeviceAllow=.*[m]$'                                  # creating device nodes
  )
  for line in "${forbidden[@]}"; do
    if grep -Eq "$line" "$unit"; then fail "$name: has a line matching $line"; fi
  done
  grep -E '^DeviceAllow=' "$unit" | grep -Evq '^DeviceAllow=char-(ttyS|ttyUSB|ttyACM|ttyAMA|rfcomm) rw$' &&
    fail "$name: a device allowed that is not a serial port"
done
echo "units ok"
