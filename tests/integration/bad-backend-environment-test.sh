#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every program that reaches readers refuses a radio it cannot use as asked with one message and status 1,
# before it sets anything up: the simulated radio without a scenario file, a radio this build does not have.
set -uo pipefail
driver=$1 cli=$2 central=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TREVALON_RUNTIME_DIR=$work/run TREVALON_SETTINGS_DIR=$work/settings TREVALON_DATA_DIR=$work/data
export HOME=$work XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen
unset KELVO_SIM_SCENARIO KELVO_SIM_CONTROL
failures=0

expect_refusal() {
  local backend=$1 expected=$2 name=$3
  shift 3
  local out status
  out=$(KELVO_BLE_BACKEND=$backend timeout 20 "$@" 2>&1 >/dev/null)
  status=$?
  if [[ $status != 1 || "$out" != *"$expected"* || $(printf '%s\n' "$out" | wc -l) != 1 ]]; then
    echo "FAIL: $name with KELVO_BLE_BACKEND=$backend: status $status, said: $out"
    failures=$((failures + 1))
  fi
}

message="KELVO_BLE_BACKEND=sim needs KELVO_SIM_SCENARIO to name a scenario file"
expect_refusal sim "$message" kelvo-driver "$driver"
expect_refusal sim "$message" kelvo-cli "$cli" list
expect_refusal sim "$message" kelvo-central "$central"
message='this build has no radio "elsewhere"'
expect_refusal elsewhere "$message" kelvo-driver "$driver"
expect_refusal elsewhere "$message" kelvo-cli "$cli" list
expect_refusal elsewhere "$message" kelvo-central "$central"
[[ -d $work/run || -d $work/settings ]] && { echo "FAIL: a refused program set up its directories"; failures=$((failures + 1)); }
exit $((failures > 0))
