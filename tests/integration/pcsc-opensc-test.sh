#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The readers' cards as every smart-card program sees them: pcsc-tools and OpenSC against emulated readers that
# kelvo-driver serves to pcscd through the project's IFD handler. Runs inside scripts/with-pcscd, which provides
# pcscd, the driver, the control FIFO and the scenario tests/integration/scenarios/pcsc-readers.json.
# usage: pcsc-opensc-test.sh PCSC_TRANSMIT (the project's one-APDU client, for exact and extended APDUs)
set -uo pipefail
transmit=${1:?pcsc-transmit}

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
kelvo=001a7dda7113
pentaloq=5e0a1c000001
kelvo_pin=123456
kelvo_puk=12345678
module=$(find /usr/lib -path "*/pkcs11/opensc-pkcs11.so" -print -quit 2>/dev/null)
[ -n "$module" ] || { echo "opensc-pkcs11.so is not installed (scripts/install-deps)" >&2; exit 1; }
work=$(mktemp -d)
background=()
trap 'kill "${background[@]}" 2>/dev/null; rm -rf "$work"' EXIT

failures=0
check() {
  local name=$1
  shift
  if "$@"; then
    echo "ok   $name"
  else
    echo "FAIL $name"
    failures=$((failures + 1))
  fi
}
wait_until() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
control() { "$repo/scripts/demo-control" "$KELVO_SIM_CONTROL" "$@"; }
readers() { pcsc_scan -r 2>/dev/null; }
lists_reader() { readers | grep -q -- "$1"; }
lists_no_reader() { ! lists_reader "$1"; }
# The PKCS#11 slot whose description holds the address, as "0x<id>".
slot_of() {
  pkcs11-tool --module "$module" -L 2>/dev/null |
    sed -n "s/^Slot [0-9]* (\(0x[0-9a-f]*\)): .*$1.*/\1/p" | head -n1
}
p11() {
  local address=$1
  shift
  pkcs11-tool --module "$module" --slot "$(slot_of "$address")" "$@"
}
piv_state() { control piv-state "$1"; }

# --- the reader list ------------------------------------------------------------------------------------------
list_holds_both() { lists_reader "Kelvo $kelvo 00 00" && lists_reader "Pentaloq $pentaloq"; }
check "pcscd lists both readers by address" list_holds_both

atr_of_kelvo() { opensc-tool --reader "$(readers | grep -n "$kelvo" | head -n1 | cut -d: -f1 | awk '{print $1-1}')" \
  --atr 2>/dev/null | tr -d ' :\n' | tr 'A-F' 'a-f'; }
atr_matches() { [ "$(atr_of_kelvo)" = "3b8180018080" ]; }
check "opensc-tool --atr gives the card's ATR" atr_matches

token_in_slot() { pkcs11-tool --module "$module" -L 2>/dev/null | grep -A3 "$1" | grep -q "token label"; }
check "pkcs11-tool -L shows a token in the Kelvo reader's slot" token_in_slot "$kelvo"
check "pkcs11-tool -L shows a token in the Pentaloq reader's slot" token_in_slot "$pentaloq"

# --- APDUs as they are: extended ones up to the card channel's 1024 bytes, longer ones refused ------------------
# The card's echo (CLA 80, INS EE) as an extended APDU of `size` bytes in all: header, 3 bytes of Lc, data, 2 of Le.
echo_apdu() {
  local data=$(($1 - 9))
  printf '80EE000000%04X' "$data"
  head -c "$data" /dev/zero | tr '\0' '\125' | od -An -tx1 -v | tr -d ' \n'
  printf '0000'
}
extended_echo() {
  local answer
  answer=$("$transmit" "$kelvo" "$(echo_apdu 1024)") &&
    [ "${#answer}" -eq $(((1024 - 9 + 2) * 2)) ] && [ "${answer: -4}" = 9000 ]
}
check "an extended APDU of 1024 bytes reaches the card and its echo comes back" extended_echo
too_long() { ! "$transmit" "$kelvo" "$(echo_apdu 1025)" >/dev/null && "$transmit" "$kelvo" 00A4040000 >/dev/null; }
check "an APDU over 1024 bytes is refused and the reader goes on" too_long

# --- certificate, login, signature ----------------------------------------------------------------------------
read_certificate() {
  p11 "$1" --read-object --type cert --id 01 --output-file "$work/$1.der" >/dev/null 2>&1 &&
    openssl x509 -inform DER -in "$work/$1.der" -noout -subject | grep -q "CN *= *$2"
}
check "the Kelvo reader's certificate names its holder" read_certificate "$kelvo" "Erika Mustermann"
check "the Pentaloq reader's certificate names its holder" read_certificate "$pentaloq" "Max Mustermann"

sign_and_verify() {
  local address=$1 pin=$2
  head -c 200 /dev/urandom >"$work/data"
  p11 "$address" --login --pin "$pin" --sign --mechanism SHA256-RSA-PKCS --id 01 \
    --input-file "$work/data" --output-file "$work/signature" >/dev/null 2>&1 || return 1
  openssl x509 -inform DER -in "$work/$address.der" -pubkey -noout >"$work/public.pem" &&
    openssl dgst -sha256 -verify "$work/public.pem" -signature "$work/signature" "$work/data" >/dev/null
}
check "a signature with the PIN verifies with the certificate's key (Kelvo)" sign_and_verify "$kelvo" "$kelvo_pin"
check "a signature with the PIN verifies with the certificate's key (Pentaloq)" sign_and_verify "$pentaloq" 87654321

# --- PIN change, block, unblock -------------------------------------------------------------------------------
change_pin() {
  p11 "$kelvo" --login --pin "$kelvo_pin" --change-pin --new-pin 24681357 >/dev/null 2>&1 &&
    piv_state "$kelvo" | grep -q "pin 24681357 " &&
    p11 "$kelvo" --login --pin 24681357 --change-pin --new-pin "$kelvo_pin" >/dev/null 2>&1
}
check "change PIN reaches the card" change_pin

block_pin() {
  for _ in 1 2 3; do p11 "$kelvo" --login --pin 999999 --list-objects >/dev/null 2>&1 && return 1; done
  piv_state "$kelvo" | grep -q "blocked yes" &&
    ! p11 "$kelvo" --login --pin "$kelvo_pin" --list-objects >/dev/null 2>&1
}
check "three wrong PINs block it" block_pin

unblock_pin() {
  printf 'app default {\n  framework pkcs15 {\n  }\n}\napp opensc-pkcs11 {\n  pkcs11 {\n    %s\n  }\n}\n' \
    "user_pin_unblock_style = set_pin_in_unlogged_session;" >"$work/opensc.conf"
  OPENSC_CONF="$work/opensc.conf" p11 "$kelvo" --unlock-pin --puk "$kelvo_puk" --new-pin "$kelvo_pin" \
    >/dev/null 2>&1 &&
    piv_state "$kelvo" | grep -q "tries 3 .*blocked no" &&
    p11 "$kelvo" --login --pin "$kelvo_pin" --list-objects >/dev/null 2>&1
}
check "the PUK unblocks it" unblock_pin

# --- events while a client waits ------------------------------------------------------------------------------
pcsc_scan -n >"$work/scan.log" 2>&1 &
background+=($!)
scan_says() { grep -c -- "$1" "$work/scan.log" 2>/dev/null | awk -v n="$2" '{exit !($1 >= n)}'; }
wait_until 5 scan_says "Card inserted" 2
card_out_and_in() {
  local removed inserted
  removed=$(grep -c "Card removed" "$work/scan.log")
  inserted=$(grep -c "Card inserted" "$work/scan.log")
  control remove "$kelvo" >/dev/null && wait_until 3 scan_says "Card removed" $((removed + 1)) &&
    control insert "$kelvo" >/dev/null && wait_until 3 scan_says "Card inserted" $((inserted + 1))
}
check "card removed and inserted show while pcsc_scan waits" card_out_and_in
card_answers_after_reinsert() { p11 "$kelvo" --login --pin "$kelvo_pin" --list-objects >/dev/null 2>&1; }
check "the card put back is the same token" card_answers_after_reinsert

# --- pcscd and kelvo-driver restarting ------------------------------------------------------------------------
restarts_above() { [ "$(cat "$KELVO_PCSCD_STATE/restarts")" -gt "$1" ]; }
pcscd_restart() {
  local restarts
  restarts=$(cat "$KELVO_PCSCD_STATE/restarts")
  kill -HUP "$KELVO_PCSCD_SUPERVISOR" && wait_until 5 restarts_above "$restarts" &&
    wait_until 5 list_holds_both && token_in_slot "$kelvo"
}
check "a restarted pcscd finds the readers again" pcscd_restart

driver_restart() {
  kill "$(cat "$KELVO_DRIVER_PIDFILE")" &&
    wait_until 5 lists_no_reader "$kelvo" &&
    wait_until 10 list_holds_both && wait_until 5 token_in_slot "$kelvo"
}
check "a restarted kelvo-driver serves the cards again" driver_restart

# --- readers arriving and leaving: in pcscd's list within 2 s, out of it within 2 s ------------------------------
newcomer=c0ffee000101
reader_arrives() {
  control add-reader "{ \"family\": \"kelvo\", \"address\": \"$newcomer\", \"card\": { \"atr\": \"3B00\" } }" \
    >/dev/null && wait_until 2 lists_reader "Kelvo $newcomer" && lists_reader "$kelvo"
}
check "a reader that arrives is listed within 2 s" reader_arrives
reader_leaves() {
  control remove-reader "$pentaloq" >/dev/null && wait_until 2 lists_no_reader "$pentaloq" &&
    lists_reader "$kelvo" && token_in_slot "$kelvo"
}
check "a reader that leaves is gone from the list within 2 s, the others stay" reader_leaves

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
