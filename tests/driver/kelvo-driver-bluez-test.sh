#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelvo-driver on BlueZ: the readers kelvo-sim publishes on a bus of its own get sockets, answer through them as
# the same readers do in process (on an emulated world of their own, built from the same file), and a reader
# kelvo-sim takes off the air loses its socket.
set -u
cli="$1"
driver="$2"
sim="$3"
dir=$(mktemp -d)
driver_pid=""
cat > "$dir/scenario.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
    "descriptor": { "Serial": "5123456789", "Firmware": "1.4.2" }, "battery": 80, "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2, "service": "6801",
    "descriptor": { "Serial": "KLV21234567890" }, "battery": 35, "usb": 1 },
  { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
] }
JSON

coproc SIM { exec "$sim" "$dir/scenario.json"; }
# shellcheck disable=SC2317  # run by the EXIT trap, which shellcheck does not follow
cleanup() {
  [[ -n "$driver_pid" ]] && kill "$driver_pid" 2>/dev/null && wait "$driver_pid" 2>/dev/null
  kill "$SIM_PID" 2>/dev/null
  wait "$SIM_PID" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
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
unset KELVO_BLE_BACKEND KELVO_SIM_SCENARIO KELVO_SIM_CONTROL
export TREVALON_RUNTIME_DIR="$dir/run" TREVALON_DATA_DIR="$dir/data" TREVALON_SETTINGS_DIR="$dir/settings"
mkdir -p "$TREVALON_DATA_DIR"
"$driver" --poll-interval 200 &
driver_pid=$!

failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
connected() {
  for _ in $(seq 150); do
    "$cli" --driver state "$1" 2>/dev/null | grep -q "^connected = 1" && return 0
    sleep 0.1
  done
  return 1
}
for reader in 001a7dda7113 c0ffee000102; do
  if connected "$reader"; then
    echo "ok   $reader served and connected"
  else
    fail "$reader not served: $(ls "$TREVALON_RUNTIME_DIR" 2>&1)"
  fi
done
if [[ ! -e "$TREVALON_RUNTIME_DIR/omnivex#ipc#ver6#kelvo_a0a1a2a3a4a5" ]]; then
  echo "ok   no socket for a peripheral that is no reader"
else
  fail "socket for the heart rate strap"
fi

compare() {
  local name="$1"
  shift
  local through direct
  through=$("$cli" --driver "$@" 2>&1)
  direct=$("$cli" --scenario "$dir/scenario.json" "$@" 2>&1)
  if [[ "$through" != "$direct" || -z "$through" ]]; then
    fail "$name"; echo "--- through the driver:"; echo "$through"; echo "--- in process:"; echo "$direct"
  else
    echo "ok   $name"
  fi
}
compare "descriptor" descriptor 001a7dda7113
compare "state" state c0ffee000102
compare "rpc" rpc 001a7dda7113 0d

# control COMMAND: sends a command to kelvo-sim and checks its answer
control() {
  local answer
  echo "$1" >&"${SIM[1]}"
  read -r -t 20 answer <&"${SIM[0]}"
  [[ "$answer" == "ok" ]] || fail "control '$1': $answer"
}
control "remove-reader c0ffee000102"
gone=""
for _ in $(seq 100); do
  if [[ ! -e "$TREVALON_RUNTIME_DIR/omnivex#ipc#ver6#kelvo_c0ffee000102" ]]; then gone=yes; break; fi
  sleep 0.1
done
if [[ -n "$gone" ]]; then echo "ok   removed reader's socket gone"; else fail "removed reader's socket stays"; fi
if connected 001a7dda7113; then echo "ok   the other reader still served"; else fail "the other reader is no longer served"; fi

kill "$driver_pid"
wait "$driver_pid"
status=$?
driver_pid=""
# What stays is the PC/SC reader list, emptied.
if [[ "$status" == 0 && -z "$(find "$TREVALON_RUNTIME_DIR" -mindepth 1 ! -name pcsc-readers.conf)" ]] &&
  ! grep -q FRIENDLYNAME "$TREVALON_RUNTIME_DIR/pcsc-readers.conf"; then
  echo "ok   clean stop"
else
  fail "exit status $status, left: $(ls "$TREVALON_RUNTIME_DIR")"
fi
exit $((failures > 0))
