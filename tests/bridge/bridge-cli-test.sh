#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Bridge control library's real libusb code against the emulated Bridge: kelvo-cli bridge under scripts/with-usb,
# with kelvo-sim-bridge putting the scenario's Bridge on the bus and reaching the scenario's readers by its radio.
# usage: bridge-cli-test.sh KELVO-CLI KELVO-SIM-BRIDGE WITH-USB
set -u
cli="$1"
sim_bridge="$2"
with_usb="$3"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

cat >"$dir/bridge.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "descriptor": { "Serial": "5123456789" },
    "battery": 64 },
  { "family": "kelvo", "address": "001a7dda7114", "name": "Kelvo 5123456790", "descriptor": { "Serial": "5123456790" } },
  { "family": "kelvo", "address": "001a7dda7116", "name": "Kelvo far away", "descriptor": { "Serial": "5123456791" } },
  { "family": "none", "address": "001a7dda7115", "name": "Thermometer" },
  { "family": "bridge", "name": "Desk Bridge", "serial": "KB2000000042", "version": "1.4.2", "passkey": 654321,
    "paired": ["001a7dda7113"], "readers": ["001a7dda7113", "001a7dda7114", "001a7dda7115"] } ] }
JSON
cat >"$dir/unpaired.json" <<'JSON'
{ "devices": [
  { "family": "bridge", "name": "Spare", "serial": "KB2000000043", "product": "6666:42ea" } ] }
JSON

# The steps run in one Bridge session, so the Bridge keeps what each did; each step's output follows a marker. The
# search's diagnostics (addresses, "has kelvo service") are left out.
cat >"$dir/steps.sh" <<'STEPS'
step() { echo "== $*"; "$KELVO_CLI" bridge "$@" 2>&1 | grep -v -e '^[0-9A-F][0-9A-F]:' -e '^has kelvo service'; }
step info
step scan
step paired
step connect 001A7DDA7113
step info
step rpc 0d
step connect 001A7DDA7114
step info
step pair 111111
step connect 001A7DDA7114
step pair 654321
step info
step paired
step connect 001A7DDA7115
step connect 001A7DDA7116
step rename 0123456789abcdef
step rename 0123456789abcdefg
step info
step reset
step info
sleep 1.5
step info
STEPS
out=$(KELVO_CLI="$cli" timeout 120 "$with_usb" "$dir/bridge.json" -- "$sim_bridge" "$dir/bridge.json" -- \
  bash "$dir/steps.sh" 2>&1)
expected='== info
name = Desk Bridge
serial = KB2000000042
version = 1.4.2
status = 0x0000
connection = 0
== scan
001A7DDA7113 Kelvo 5123456789
001A7DDA7114 Kelvo 5123456790
== paired
001A7DDA7113
== connect 001A7DDA7113
result = 0
== info
name = Desk Bridge
serial = KB2000000042
version = 1.4.2
status = 0x1800
connection = 1
== rpc 0d
response = 00010140000000
== connect 001A7DDA7114
result = 1
== info
name = Desk Bridge
serial = KB2000000042
version = 1.4.2
status = 0x0200
connection = 1
== pair 111111
result = 4
kelvo-cli: kelvoctl_send_passkey failed with 4
== connect 001A7DDA7114
result = 1
== pair 654321
result = 0
== info
name = Desk Bridge
serial = KB2000000042
version = 1.4.2
status = 0x1800
connection = 2
== paired
001A7DDA7113
001A7DDA7114
== connect 001A7DDA7115
result = 3
kelvo-cli: kelvoctl_select_device failed with 3
== connect 001A7DDA7116
result = 3
kelvo-cli: kelvoctl_select_device failed with 3
== rename 0123456789abcdef
result = 0
== rename 0123456789abcdefg
result = 6
kelvo-cli: kelvoctl_store_device_name failed with 6
== info
name = 0123456789abcdef
serial = KB2000000042
version = 1.4.2
status = 0x0000
connection = 2
== reset
result = 0
== info
kelvo-cli: no Bridge found
== info
name = 0123456789abcdef
serial = KB2000000042
version = 1.4.2
status = 0x0000
connection = 2'
if [[ "$out" != "$expected" ]]; then
  echo "FAIL bridge session:"
  diff <(echo "$expected") <(echo "$out")
  failures=$((failures + 1))
else
  echo "ok   bridge session"
fi

# The other id pair; a Bridge paired with nobody answers an empty list (a 2-byte answer).
out=$(timeout 60 "$with_usb" "$dir/unpaired.json" -- "$sim_bridge" "$dir/unpaired.json" -- \
  bash -c "\"$cli\" bridge paired && echo listed && \"$cli\" bridge info | head -1" 2>&1)
if [[ "$out" != $'listed\nname = Spare' ]]; then
  echo "FAIL unpaired: $out"
  failures=$((failures + 1))
else
  echo "ok   unpaired"
fi

# Without a Bridge on the bus.
if out=$(timeout 60 "$with_usb" "$dir/unpaired.json" -- "$cli" bridge info 2>&1) || [[ "$out" != *"no Bridge found"* ]]; then
  echo "FAIL no bridge: $out"
  failures=$((failures + 1))
else
  echo "ok   no bridge"
fi
exit $((failures > 0))
