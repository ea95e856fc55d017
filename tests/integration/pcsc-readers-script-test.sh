#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelvo-pcsc-readers runs as root and writes what root's pcscd loads, from a list an unprivileged driver wrote:
# only well-formed reader names may pass, and the library and socket folder are never the list's.
set -euo pipefail
script=${1:?kelvo-pcsc-readers}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect_entries() {
  local name=$1 expected=$2 actual
  "$script" --list "$work/list" --target "$work/out" --runtime-dir /run/trevalon --handler /lib/h.so --no-restart
  actual=$(grep -v '^#' "$work/out" | tr '\n' '|' || true)
  if [ "$actual" = "$expected" ]; then echo "ok   $name"; else
    echo "FAIL $name: $actual"
    failures=$((failures + 1))
  fi
}
entry() { printf 'FRIENDLYNAME "%s %s"|DEVICENAME /run/trevalon/kelvo-card_%s|LIBPATH /lib/h.so|CHANNELID 0||' "$1" "$2" "$2"; }

rm -f "$work/list"
expect_entries "no list: no readers" ""

printf 'FRIENDLYNAME "Kelvo 001a7dda7113"\nDEVICENAME /tmp/x\nLIBPATH /tmp/evil.so\nCHANNELID 0\n' >"$work/list"
expect_entries "the library and the socket are never taken from the list" "$(entry Kelvo 001a7dda7113)"

cat >"$work/list" <<'LIST'
FRIENDLYNAME "Pentaloq 5e0a1c000001"
FRIENDLYNAME "Kelvo 001A7DDA7113"
FRIENDLYNAME "Kelvo 001a7dda7113 "
FRIENDLYNAME "Kelvo 001a7dda711"
FRIENDLYNAME "Other 001a7dda7114"
FRIENDLYNAME "Kelvo ../../../x00"
FRIENDLYNAME "Kelvo 001a7dda7113"
FRIENDLYNAME "Kelvo 001a7dda7113"
LIST
expect_entries "malformed names are dropped, duplicates kept once" \
  "$(entry Kelvo 001a7dda7113)$(entry Pentaloq 5e0a1c000001)"

[ "$(stat -c %a "$work/out")" = 644 ] || { echo "FAIL mode $(stat -c %a "$work/out")"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
