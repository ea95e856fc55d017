#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelvo-cli without a scenario: the readers kelvo-sim publishes on a bus of its own, reached through BlueZ.
set -u
cli="$1"
sim="$2"
dir=$(mktemp -d)
cat > "$dir/scenario.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
    "descriptor": { "Serial": "5123456789", "Firmware": "1.4.2" }, "battery": 80, "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2, "service": "6801",
    "descriptor": { "Serial": "KLV21234567890" }, "battery": 35, "usb": 1 },
  { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
] }
JSON

coproc SIM { KELVO_SIM_CONTROL="$dir/control" exec "$sim" "$dir/scenario.json"; }
# shellcheck disable=SC2153  # coproc SIM sets SIM_PID
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$dir"' EXIT
address=""
while read -r -t 20 line <&"${SIM[0]}"; do
  case "$line" in
    DBUS_SYSTEM_BUS_ADDRESS=*) address="${line#DBUS_SYSTEM_BUS_ADDRESS=}" ;;
    ready) break ;;
  esac
done
if [[ -z "$address" ]]; then
  echo "FAIL kelvo-sim printed no bus address"
  exit 1
fi
export DBUS_SYSTEM_BUS_ADDRESS="$address"
unset KELVO_BLE_BACKEND KELVO_SIM_SCENARIO
# Readers reached through BlueZ are real to kelvo-cli: their keys are kept where the driver keeps them.
export TREVALON_SETTINGS_DIR="$dir/keys" TREVALON_RUNTIME_DIR="$dir/run"

failures=0
# expect NAME EXPECTED-STATUS EXPECTED-STDOUT [ARGS...]
expect() {
  local name="$1" status="$2" expected="$3"
  shift 3
  local out rc
  out=$("$cli" "$@" 2>"$dir/stderr")
  rc=$?
  if [[ "$rc" != "$status" || "$out" != "$expected" ]]; then
    echo "FAIL $name: exit $rc (expected $status)"
    echo "--- got:"; echo "$out"; echo "--- expected:"; echo "$expected"; echo "--- stderr:"; cat "$dir/stderr"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}
# control COMMAND: sends a command to kelvo-sim and checks its answer
control() {
  local answer
  echo "$1" >&"${SIM[1]}"
  read -r -t 20 answer <&"${SIM[0]}"
  if [[ "$answer" != "ok" ]]; then
    echo "FAIL control '$1': $answer"
    failures=$((failures + 1))
  fi
}

tab=$'\t'
expect list 0 "001a7dda7113${tab}Kelvo 5123456789${tab}Kelvo${tab}5123456789
c0ffee000102${tab}Kelvo KLV21234567890${tab}Kelvo${tab}KLV21234567890" list
expect descriptor 0 "Serial = 5123456789
MAC = 001a7dda7113
Firmware = 1.4.2
Hardware = 1.2rev3
Build = 2026-01-01
Bootloader = 1.0" descriptor 001a7dda7113
expect apdu-echo 0 "response = 0102039000" apdu 001a7dda7113 80EE000003010203
control "battery c0ffee000102 12"
out=$("$cli" state c0ffee000102 2>/dev/null | grep '^battery = ')
if [[ "$out" == "battery = 12" ]]; then echo "ok   battery-after-control"; else echo "FAIL battery-after-control: $out"; failures=$((failures + 1)); fi
# battery-of ADDRESS EXPECTED: the reader's battery as kelvo-cli reads it
battery_of() {
  local out
  out=$("$cli" state "$1" 2>/dev/null | grep '^battery = ')
  if [[ "$out" == "battery = $2" ]]; then echo "ok   battery $2"; else echo "FAIL battery $2: $out"; failures=$((failures + 1)); fi
}
echo "battery c0ffee000102 21" > "$dir/control"
for _ in $(seq 50); do [[ -s "$dir/control.out" ]] && break; sleep 0.1; done
[[ "$(cat "$dir/control.out")" == "ok" ]] || { echo "FAIL control pipe: $(cat "$dir/control.out")"; failures=$((failures + 1)); }
battery_of c0ffee000102 21
if command -v busctl >/dev/null; then
  answer=$(busctl --address="$address" call org.bluez /org/kelvo/sim org.kelvo.Sim1 Command s "battery c0ffee000102 22")
  [[ "$answer" == 's "ok"' ]] || { echo "FAIL control object: $answer"; failures=$((failures + 1)); }
  battery_of c0ffee000102 22
fi
control "remove-reader c0ffee000102"
expect removed 0 "001a7dda7113${tab}Kelvo 5123456789${tab}Kelvo${tab}5123456789" list

# The link key agreed in the first run is kept and used again: a second run agrees none (the file stays as it was).
key="$TREVALON_SETTINGS_DIR/key_001a7dda7113_private"
before=$(sha256sum "$key" 2>/dev/null)
"$cli" descriptor 001a7dda7113 >/dev/null 2>&1
after=$(sha256sum "$key" 2>/dev/null)
mode=$(stat -c %a "$TREVALON_SETTINGS_DIR" 2>/dev/null)
if [[ -n "$before" && "$before" == "$after" && "$mode" == 700 ]]; then
  echo "ok   link key kept, not agreed again"
else
  echo "FAIL link key: before '$before' after '$after', folder mode '$mode'"
  failures=$((failures + 1))
fi
# A key folder of another user, or one open to others, is refused with a message instead of being used.
if [[ $(id -u) == 0 ]]; then
  mkdir -m 700 "$dir/others" && chown nobody "$dir/others"
  out=$(TREVALON_SETTINGS_DIR="$dir/others" "$cli" list 2>&1)
  if [[ $? != 0 && "$out" == *"which belongs to nobody: run kelvo-cli as that user (sudo -u nobody"* ]]; then
    echo "ok   another user's key folder refused"
  else
    echo "FAIL another user's key folder: $out"
    failures=$((failures + 1))
  fi
fi
mkdir -m 755 "$dir/open"
out=$(TREVALON_SETTINGS_DIR="$dir/open" "$cli" list 2>&1)
if [[ $? != 0 && "$out" == *"is open to other users"* ]]; then
  echo "ok   open key folder refused"
else
  echo "FAIL open key folder: $out"
  failures=$((failures + 1))
fi
# kelvo-sim ends cleanly on "quit" (a sanitizer report would make its status non-zero).
echo quit >&"${SIM[1]}"
wait "$sim_pid"
sim_status=$?
if [[ "$sim_status" != 0 ]]; then echo "FAIL kelvo-sim ended with status $sim_status"; failures=$((failures + 1)); else echo "ok   kelvo-sim quit"; fi

exit $((failures > 0))
