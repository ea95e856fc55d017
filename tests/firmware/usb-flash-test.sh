#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Flashing through the USB bootloader with the real libusb code: kelvo-cli sends an emulated reader on its cable into
# its bootloader over the simulated radio; the reader shows its bootloader on the USB bus that scripts/with-usb
# emulates on a umockdev test bed (the scenario's "usb" entry sets it up), kelvo-cli finds it and writes it, the
# bootloader checks what it received and reports it, and the reader comes back on the air with what it then runs.
# usage: usb-flash-test.sh KELVO-CLI KELVO-SIM-IMAGE WITH-USB
set -u
cli="$1"
make_image="$2"
with_usb="$3"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

scenario() {  # NAME SERIAL GENERATION USB-EXTRA
  cat >"$dir/$1.json" <<JSON
{ "devices": [
  { "family": "kelvo", "address": "c0ffee000102", "name": "$2", "generation": $3, "service": "6801",
    "descriptor": { "Serial": "$2", "Firmware": "2.1.0" }, "battery": 35, "usb": 1 } ],
  "usb": [ { "kind": "bootloader", "generation": $3, "serial": "$2", "report": "$dir/$1.report" $4 } ] }
JSON
}

# check NAME IMAGE EXPECTED-REPORT EXPECTED-OUTPUT-PATTERN
check() {
  local out rc report
  out=$(timeout 120 "$with_usb" "$dir/$1.json" -- "$cli" --scenario "$dir/$1.json" flash c0ffee000102 "$2" --usb \
    2>"$dir/$1.stderr")
  rc=$?
  report=$(cat "$dir/$1.report" 2>/dev/null)
  if [[ "$rc" != 0 || "$report" != "$3" || ! "$out" =~ $4 ]]; then
    echo "FAIL $1: exit $rc"; echo "--- output:"; echo "$out"; echo "--- stderr:"; cat "$dir/$1.stderr"
    echo "--- report: $report"; echo "--- expected: $3"
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

"$make_image" 2.3.0 3 "$dir/k2.img"
scenario second KLV21234567890 2 ""
check second "$dir/k2.img" '{"generation": 2, "pages": 3, "erased": true, "installed": "2.3.0"}' \
  $'bootloader = 0\nusb = connected\nprogress = 0\nprogress = 33\nprogress = 66\nprogress = 100\nflashed = usb\nfirmware = 2.3.0'

# A first-generation plain image of 130 pages: only 119 are written.
head -c $((130 * 2048)) /dev/urandom >"$dir/k1.img"
scenario first 5123456789 1 ', "pid": "1441"'
check first "$dir/k1.img" '{"generation": 1, "pages": 119, "erased": true, "installed": "plain image of 119 pages"}' \
  $'progress = 91\nprogress = 100\nflashed = usb\nfirmware = 2.1.0'

# A transfer that comes back short ends the attempt; the next one starts again from the erase.
scenario retry KLV21234567890 2 ', "fail-transfer": 40'
check retry "$dir/k2.img" '{"generation": 2, "pages": 3, "erased": true, "installed": "2.3.0"}' 'flashed = usb'
if ! grep -q "Failed to flash page 1" "$dir/retry.stderr"; then
  echo "FAIL retry-message:"; cat "$dir/retry.stderr"; failures=$((failures + 1))
fi

# Unplugged while page 1 is written, plugged in again: the bootloader is written anew.
scenario replug KLV21234567890 2 ', "vanish-at-page": 1, "replug-after": 1.5'
check replug "$dir/k2.img" '{"generation": 2, "pages": 3, "erased": true, "installed": "2.3.0"}' \
  $'usb = disconnected\nusb = connected(.|\n)*flashed = usb'

# A changed page goes out whole, and the bootloader refuses the image at its check.
cp "$dir/k2.img" "$dir/k2-bad.img"
printf '\xff' | dd of="$dir/k2-bad.img" bs=1 seek=3000 conv=notrunc status=none
scenario tampered KLV21234567890 2 ""
check tampered "$dir/k2-bad.img" \
  '{"generation": 2, "pages": 3, "erased": true, "error": "the signature does not match"}' \
  $'flashed = usb\nfirmware = 2.1.0'

exit $((failures > 0))
