#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every text of the program's code has a translation: lupdate on a copy of each translation source adds what the
# code has and the source lacks (as "unfinished") and marks what the code no longer has (as "vanished").
#   translations-in-step-test.sh LUPDATE SOURCE_DIR TS...
set -u
lupdate=${1:?lupdate}
sources=${2:?source folder}
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for ts in "$@"; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  if ! "$lupdate" -locations none "$sources" -ts "$copy" >"$work/lupdate.log" 2>&1; then
    cat "$work/lupdate.log"
    echo "FAIL lupdate on $ts"
    failures=$((failures + 1))
    continue
  fi
  missing=$(/usr/bin/python3 - "$copy" <<'PY'
import sys
import xml.etree.ElementTree as ET
for context in ET.parse(sys.argv[1]).getroot().iter('context'):
    for message in context.iter('message'):
        kind = message.find('translation').get('type')
        if kind in ('unfinished', 'vanished', 'obsolete'):
            print('%s %s: %r' % (kind, context.findtext('name'), message.findtext('source')))
PY
  )
  if [[ -n "$missing" ]]; then
    echo "FAIL $(basename "$ts") is not in step with the code (cmake --build BUILD --target lupdate, then translate):"
    echo "$missing"
    failures=$((failures + 1))
  else
    echo "ok   $(basename "$ts")"
  fi
done
exit $((failures > 0))
