#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelvo-cli --driver against a running kelvo-driver: the same commands print the same lines as the in-process
# path (which builds its own emulated readers from the same scenario file), and failures are one line each.
set -u
cli="$1"
driver="$2"
dir=$(mktemp -d)
pid=""
# shellcheck disable=SC2317  # run by the EXIT trap, which shellcheck does not follow
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
cat > "$dir/scenario.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
    "descriptor": { "Serial": "5123456789", "Firmware": "1.4.2", "Hardware": "1.2rev3", "Build": "2026-01-01" },
    "battery": 80, "usb": 0,
    "settings": { "1": 2, "2": 1, "3": 0, "4": 1, "5": 3, "6": 1, "7": 1, "8": -70 },
    "ranges": [[1920, 2490], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1]],
    "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2, "service": "6801",
    "descriptor": { "Serial": "KLV21234567890" }, "battery": 35, "usb": 1 }
] }
JSON
export TREVALON_RUNTIME_DIR="$dir/run" TREVALON_DATA_DIR="$dir/data" TREVALON_SETTINGS_DIR="$dir/settings"
mkdir -p "$TREVALON_DATA_DIR"
"$driver" --scenario "$dir/scenario.json" --poll-interval 100 &
pid=$!

failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

for address in 001a7dda7113 c0ffee000102; do
  for _ in $(seq 100); do
    "$cli" --driver state "$address" 2>/dev/null | grep -q "^connected = 1" && break
    sleep 0.1
  done
done

# compare NAME ARGS...: the same command through the driver and in process.
compare() {
  local name="$1"
  shift
  local through direct
  through=$("$cli" --driver "$@" 2>&1)
  # In process with a store of its own: the driver's settings directory holds the driver's keys.
  direct=$(env -u TREVALON_SETTINGS_DIR "$cli" --scenario "$dir/scenario.json" "$@" 2>&1)
  if [[ "$through" != "$direct" || -z "$through" ]]; then
    fail "$name"; echo "--- through the driver:"; echo "$through"; echo "--- in process:"; echo "$direct"
  else
    echo "ok   $name"
  fi
}
for address in 001a7dda7113 c0ffee000102; do
  compare "descriptor $address" descriptor "$address"
  compare "state $address" state "$address"
  compare "rpc $address" rpc "$address" 0d
  compare "refused rpc $address" rpc "$address" 0a
  compare "ranges $address" set-ranges "$address" 480,1080 -1,-1 -1,-1 -1,-1 -1,-1 -1,-1 -1,-1
done

out=$("$cli" --driver list 2>&1)
expected=$'001a7dda7113\t-\t-\t5123456789\nc0ffee000102\t-\t-\tKLV21234567890'
if [[ "$out" == "$expected" ]]; then echo "ok   list"; else fail "list"; echo "$out"; fi

if out=$("$cli" --driver set-setting 001a7dda7113 6 0 2>&1) && [[ "$out" == "code = 0" ]] \
  && "$cli" --driver state 001a7dda7113 | grep -q "^buzzer = 0$"; then
  echo "ok   set-setting reaches the reader"
else
  fail "set-setting"; echo "$out"; "$cli" --driver state 001a7dda7113
fi

# expect-failure NAME MESSAGE ARGS...: exit 1, nothing on standard output, MESSAGE as the one line on standard error.
expect_failure() {
  local name="$1" message="$2"
  shift 2
  local out err rc
  out=$("$cli" --driver "$@" 2>"$dir/stderr")
  rc=$?
  err=$(cat "$dir/stderr")
  if [[ "$rc" != 1 || -n "$out" || "$err" != "$message" ]]; then
    fail "$name: exit $rc, out '$out', err '$err'"
  else
    echo "ok   $name"
  fi
}
# Without --driver and without a scenario, real readers are the driver's while it runs: kelvo-cli asks it and says
# so, and refuses what would reach the reader behind the driver's back.
out=$("$cli" state 001a7dda7113 2>"$dir/stderr")
if [[ "$out" == *"battery = 80"* && "$(cat "$dir/stderr")" == "kelvo-cli: kelvo-driver is running: asking it (--driver)" ]]; then
  echo "ok   a running driver is asked"
else
  fail "a running driver is asked: '$out' '$(cat "$dir/stderr")'"
fi
if ! "$cli" apdu 001a7dda7113 00a4 2>"$dir/stderr" && grep -q "needs it stopped" "$dir/stderr"; then
  echo "ok   apdu refused while the driver runs"
else
  fail "apdu while the driver runs: $(cat "$dir/stderr")"
fi
# --json: one object with decoded values; a driver answering status 0 for the version request.
json=$("$cli" --driver --json state 001a7dda7113)
if /usr/bin/python3 -c 'import json,sys; o=json.load(sys.stdin); assert o["card"]=="present" and o["connected"] is True and o["battery"]==80 and o["exit-status"]==0 and o["ranges"][0]==[480,1080], o' <<<"$json"; then
  echo "ok   --json state"
else
  fail "--json state: $json"
fi
report=$("$cli" --json report)
if /usr/bin/python3 -c 'import json,sys; o=json.load(sys.stdin); assert o["driver"]=="running" and o["driver-version"]==sys.argv[1] and [r["address"] for r in o["readers"]]==["001a7dda7113","c0ffee000102"] and o["readers"][0]["descriptor"]["Serial"]=="5123456789" and o["readers"][0]["state"]["card"]=="present", o' "$("$cli" --version | cut -d' ' -f2)" <<<"$report"; then
  echo "ok   report"
else
  fail "report: $report"
fi
if "$cli" report | grep -qiE 'key|pin' ; then fail "report mentions keys or PINs"; else echo "ok   report holds no key or PIN"; fi
expect_failure "unknown reader" "kelvo-cli: the driver serves no reader 0011223344ff" state 0011223344ff
expect_failure "apdu" "kelvo-cli: apdu is not a driver request; run it without --driver" apdu 001a7dda7113 00a4

kill "$pid"
wait "$pid"
status=$?
pid=""
if [[ "$status" == 0 ]]; then echo "ok   driver ends cleanly on SIGTERM"; else fail "driver exit status $status after SIGTERM"; fi
# What stays is the PC/SC reader list, emptied.
if [[ -z "$(find "$TREVALON_RUNTIME_DIR" -mindepth 1 ! -name pcsc-readers.conf)" ]] &&
  ! grep -q FRIENDLYNAME "$TREVALON_RUNTIME_DIR/pcsc-readers.conf"; then
  echo "ok   sockets gone and reader list empty after SIGTERM"
else
  fail "sockets left: $(ls "$TREVALON_RUNTIME_DIR")"
fi
expect_failure "driver not running" "kelvo-cli: kelvo-driver is not running (no driver holds $TREVALON_RUNTIME_DIR/kelvo-driver.pid)" list
if [[ -e "$TREVALON_RUNTIME_DIR/kelvo-driver.pid" ]]; then fail "the driver's marker stays"; fi

exit $((failures > 0))
