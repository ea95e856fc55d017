#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# kelvo-cli on a scenario of its own: each command's output as a script would read it.
set -u
cli="$1"
make_image="$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/scenario.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "generation": 1,
    "descriptor": { "Serial": "5123456789", "Firmware": "1.4.2", "Hardware": "1.2rev3", "Build": "2026-01-01" },
    "battery": 80, "usb": 0,
    "settings": { "1": 2, "2": 1, "3": 0, "4": 1, "5": 3, "6": 1, "7": 1, "8": -70 },
    "ranges": [[1920, 2490], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1], [-1, -1]],
    "card": { "atr": "3B8180018080" } },
  { "family": "kelvo", "address": "c0ffee000102", "name": "KLV21234567890", "generation": 2, "service": "6801",
    "descriptor": { "Serial": "KLV21234567890", "Firmware": "2.1.0" }, "battery": 35, "usb": 1 },
  { "family": "none", "address": "a0a1a2a3a4a5", "name": "Heart rate strap" }
] }
JSON

failures=0
# expect NAME EXPECTED-STATUS EXPECTED-STDOUT [ARGS...]
expect() {
  local name="$1" status="$2" expected="$3"
  shift 3
  local out err rc
  out=$("$cli" --scenario "$dir/scenario.json" "$@" 2>"$dir/stderr")
  rc=$?
  err=$(cat "$dir/stderr")
  if [[ "$rc" != "$status" || "$out" != "$expected" ]]; then
    echo "FAIL $name: exit $rc (expected $status)"
    echo "--- got:"; echo "$out"; echo "--- expected:"; echo "$expected"; echo "--- stderr:"; echo "$err"
    failures=$((failures + 1))
  elif [[ "$status" != 0 && $(wc -l <<<"$err") != 1 ]]; then
    echo "FAIL $name: expected one line on standard error, got:"; echo "$err"
    failures=$((failures + 1))
  else
    echo "ok   $name"
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

expect state 0 "connected = 1
card = 6
battery = 80
encryption = 1
atr = 0
usb = 0
encryption-used = 1
signal = 2
advertising = 1
display = 0
backlight = 1
contrast = 0
buzzer = 1
encryption-enabled = 255
coverage = -70
ranges = 1920,2490 -1,-1 -1,-1 -1,-1 -1,-1 -1,-1 -1,-1" state 00:1A:7D:DA:71:13

expect set-setting 0 "code = 0" set-setting 001a7dda7113 6 0
expect set-setting-refused 1 "code = 6" set-setting 001a7dda7113 200 1
expect set-ranges 0 "code = 0" set-ranges c0ffee000102 1920,2490 -1,-1 -1,-1 -1,-1 -1,-1 -1,-1 600,700
expect indicate 0 "code = 0" indicate 001a7dda7113 01
expect rpc 0 "code = 0
response = 00010650000000" rpc 001a7dda7113 0d
expect rpc-refused 1 "code = 6" rpc 001a7dda7113 0a
expect apdu-select 0 "response = 6a82" apdu 001a7dda7113 "00 A4 04 00 02 A0 00"
expect apdu-echo 0 "response = 0102039000" apdu 001a7dda7113 80EE000003010203
expect apdu-no-card 1 "" apdu c0ffee000102 80EE000003010203
expect bad-hex 1 "" apdu 001a7dda7113 80E
expect unknown-reader 1 "" state 001a7dda7114
expect not-a-reader 1 "" state a0a1a2a3a4a5
expect bad-address 1 "" state 001a7dda71
expect usage 2 "" frobnicate

cat > "$dir/out-of-range.json" <<'JSON'
{ "devices": [ { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789", "linked": false } ] }
JSON
out=$("$cli" --scenario "$dir/out-of-range.json" state 001a7dda7113 2>&1)
if [[ $? == 0 || "$out" != "kelvo-cli: reader 001a7dda7113 did not become available within 5 s" ]]; then
  echo "FAIL out-of-range: $out"; failures=$((failures + 1))
else
  echo "ok   out-of-range"
fi

# A Pentaloq reader beside a Kelvo one: listed with the serial it answers, read through the same requests.
cat > "$dir/pentaloq.json" <<'JSON'
{ "devices": [
  { "family": "kelvo", "address": "001a7dda7113", "name": "Kelvo 5123456789",
    "descriptor": { "Serial": "5123456789" } },
  { "family": "pentaloq", "address": "5e0a1c000001", "name": "Pentaloq", "firmware": "1.2", "hardware": "2.1",
    "serial": "PQ4711", "battery": 64, "card": { "atr": "3B8180018080" } }
] }
JSON
pentaloq() {
  local name="$1" status="$2" expected="$3"
  shift 3
  local out rc
  out=$("$cli" --scenario "$dir/pentaloq.json" "$@" 2>"$dir/stderr")
  rc=$?
  if [[ "$rc" != "$status" || "$out" != "$expected" ]]; then
    echo "FAIL $name: exit $rc (expected $status)"
    echo "--- got:"; echo "$out"; echo "--- expected:"; echo "$expected"; echo "--- stderr:"; cat "$dir/stderr"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}
pentaloq pentaloq-list 0 "001a7dda7113${tab}Kelvo 5123456789${tab}Kelvo${tab}5123456789
5e0a1c000001${tab}Pentaloq PQ4711${tab}Pentaloq${tab}PQ4711" list
pentaloq pentaloq-state 0 "connected = 1
card = 6
battery = 64
encryption = 1
atr = 0
usb = 255
encryption-used = 1
signal = 255
advertising = 255
display = 255
backlight = 255
contrast = 0
buzzer = 255
encryption-enabled = 255
coverage = -1
ranges = 0,0 0,0 0,0 0,0 0,0 0,0 0,0" state 5e0a1c000001
pentaloq pentaloq-apdu 0 "response = 0102039000" apdu 5e0a1c000001 80EE000003010203
pentaloq pentaloq-descriptor 1 "" descriptor 5e0a1c000001
pentaloq pentaloq-set-setting 1 "code = 6" set-setting 5e0a1c000001 6 0

# firmware: a catalogue folder with one image that fits the first-generation reader and one that does not.
mkdir -p "$dir/catalogue/sub"
descriptor() {  # FILE VERSION EXTRA-CHILDREN
  printf '<firmware version="2"><name>Kelvo firmware</name><version>%s</version><date>01.02.2026 10:30</date>%s</firmware>' \
    "$2" "$3" >"$dir/catalogue/$1.xml"
  printf 'image' >"$dir/catalogue/$1.bin"
}
descriptor k1-150 1.5.0 "<serial>5.*</serial>"
descriptor k2-300 3.0.0 "<serial>K.*</serial>"
descriptor sub/k1-140 1.4.0 ""
# The candidates come in the file system's order, so their lines are compared sorted; the last line is the verdict.
firmware_out=$("$cli" --scenario "$dir/scenario.json" firmware 001a7dda7113 --catalogue "$dir/catalogue" 2>&1)
firmware_expected="A better match 'Kelvo firmware' was already found
Kelvo firmware (k1-140): matched
Kelvo firmware (k1-140): matched
Kelvo firmware (k1-150): matched
Kelvo firmware (k1-150): matched
Kelvo firmware (k2-300): could not match serial 5123456789
Kelvo firmware (k2-300): could not match serial 5123456789
candidates = 3
installed = 1.4.2"
if [[ "$(head -n -1 <<<"$firmware_out" | LC_ALL=C sort)" != "$firmware_expected" ||
  "$(tail -n 1 <<<"$firmware_out")" != "update = k1-150 1.5.0" ]]; then
  echo "FAIL firmware-update:"; echo "$firmware_out"; failures=$((failures + 1))
else
  echo "ok   firmware-update"
fi
expect firmware-usage 2 "" firmware 001a7dda7113 --catalogue

# flash: a second-generation reader takes an image of two pages over the air (8 pieces of 512 bytes and one of 31)
# and comes back with its version; an image whose page was changed is not installed; a first-generation image
# size is refused before anything is written.
"$make_image" 2.2.0 2 "$dir/k2-220.img"
expect flash 0 "progress = 0
progress = 12
progress = 25
progress = 37
progress = 50
progress = 62
progress = 75
progress = 87
progress = 100
bootloader = 1
firmware = 2.2.0" flash c0ffee000102 "$dir/k2-220.img"
cp "$dir/k2-220.img" "$dir/k2-bad.img"
printf '\xff' | dd of="$dir/k2-bad.img" bs=1 seek=100 conv=notrunc status=none
expect flash-tampered 1 "$(printf 'progress = %s\n' 0 12 25 37 50 62 75 87 100)
bootloader = 1
firmware = 2.1.0" flash c0ffee000102 "$dir/k2-bad.img"
head -c 4096 "$dir/k2-220.img" >"$dir/plain.img"
expect flash-size 1 "" flash c0ffee000102 "$dir/plain.img"
# (flash --usb waits for the reader's bootloader on USB: tests/firmware/usb-flash-test.sh runs it on a test bed.)

out=$("$cli" --scenario "$dir/missing.json" list 2>&1)
if [[ $? == 0 || "$out" != *"cannot use scenario"* ]]; then
  echo "FAIL missing-scenario: $out"; failures=$((failures + 1))
else
  echo "ok   missing-scenario"
fi

exit $((failures > 0))
