#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The Debian packages as a packager and an administrator meet them: cpack builds them from the build folder, they
# are unpacked into a scratch root and their file lists compared with the expected ones; lintian finds no error;
# the installed unit passes systemd's checks and its sandbox scores at most 2.5; the desktop entries and the
# AppStream data validate; every program answers --version with the project's one version.
#   package-test.sh BUILD_DIR EXPECTED_FILES VERSION
set -u
build=${1:?build folder}
expected=${2:?expected file list}
version=${3:?version}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
ok() { echo "ok   $*"; }
# check NAME COMMAND...: ok when the command succeeds
check() {
  local name=$1
  shift
  if "$@"; then ok "$name"; else fail "$name"; fi
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL cpack"
  exit 1
fi
mapfile -t debs < <(find "$work/out" -maxdepth 1 -name '*.deb' | sort)
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb --field "$deb" Package)"); done
if [[ "${names[*]}" == "kelvo-central kelvo-driver" ]]; then ok "packages: ${names[*]}"; else fail "packages: ${names[*]}"; fi

root="$work/root"
listing="$work/files"
for deb in "${debs[@]}"; do
  package=$(dpkg-deb --field "$deb" Package)
  [[ $(dpkg-deb --field "$deb" Version) == "$version" ]] || fail "$package version $(dpkg-deb --field "$deb" Version)"
  dpkg-deb -x "$deb" "$root"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/\?$' |
    sed "s|^|$package |" >>"$listing"
  mkdir -p "$work/control/$package"
  dpkg-deb -e "$deb" "$work/control/$package"
done
# Folders every system has are left out: the list shows what the packages add.
if diff <(grep -v -E ' /(usr|usr/bin|usr/sbin|usr/lib|usr/share|usr/share/doc|usr/share/man|usr/share/man/man[0-9]|etc|etc/xdg|lib|usr/share/applications|usr/share/icons|usr/share/icons/hicolor|usr/share/icons/hicolor/[^/]*|usr/share/icons/hicolor/[^/]*/apps|usr/lib/systemd|usr/lib/systemd/system|usr/lib/udev|usr/lib/udev/rules.d|usr/lib/sysusers.d|usr/share/dbus-1|usr/share/dbus-1/system.d|usr/share/metainfo|usr/share/bash-completion|usr/share/bash-completion/completions|etc/xdg/autostart|usr/lib/pcsc|usr/lib/pcsc/drivers|usr/lib/pcsc/drivers/serial|usr/lib/x86_64-linux-gnu|usr/lib/[^/]*-linux-gnu)$' "$listing" | sort) \
  <(sed "s|@MULTIARCH@|$(dpkg-architecture -qDEB_HOST_MULTIARCH)|" "$expected" | sort) >"$work/files.diff"; then
  ok "file lists"
else
  fail "file lists (< packaged, > expected):"
  cat "$work/files.diff"
fi

# Nothing of the tests, benchmarks or emulators is packaged.
if grep -E 'kelvo-sim|kelvo-campaign|-test|bench|kelvo-release' "$listing"; then fail "test or emulator files packaged"; else ok "no test files"; fi

# Maintainer scripts: the driver's package makes its user and enables its units.
check "driver postinst makes the user" grep -q 'systemd-sysusers kelvo-driver.conf' "$work/control/kelvo-driver/postinst"
check "driver postinst enables the units" grep -q 'deb-systemd-helper enable' "$work/control/kelvo-driver/postinst"
check "conffiles" grep -qx '/etc/xdg/autostart/kelvo-central.desktop' "$work/control/kelvo-central/conffiles"
for package in kelvo-central kelvo-driver; do
  depends=$(dpkg-deb --field "$work/out/${package}"_*.deb Depends)
  check "$package depends: $depends" grep -q 'libc6' <<<"$depends"
done
check "the application needs Qt" grep -q 'libqt5widgets5' <<<"$(dpkg-deb --field "$work/out/kelvo-central"_*.deb Depends)"

if command -v lintian >/dev/null; then
  if lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >"$work/lintian.log" 2>&1; then
    ok "lintian: no errors ($(grep -c '^W:' "$work/lintian.log") warnings)"
  else
    fail "lintian:"
    cat "$work/lintian.log"
  fi
else
  fail "lintian is not installed"
fi

unit=$(find "$root" -name kelvo-driver.service | head -n 1)
if [[ -z "$unit" ]]; then
  fail "no kelvo-driver.service"
else
  check "ExecStart follows the prefix" grep -qx "ExecStart=/usr/sbin/kelvo-driver" "$unit"
  # The units they name (sysinit.target, ...) come from this machine's systemd; the man page is in the file list.
  cp -n /usr/lib/systemd/system/*.target "$(dirname "$unit")"/
  if systemd-analyze verify --man=no --root="$root" /usr/lib/systemd/system/kelvo-driver.service \
    /usr/lib/systemd/system/kelvo-pcsc-readers.service /usr/lib/systemd/system/kelvo-pcsc-readers.path \
    >"$work/verify.log" 2>&1; then
    ok "systemd-analyze verify"
  else
    fail "systemd-analyze verify:"
    cat "$work/verify.log"
  fi
  exposure=$(systemd-analyze security --offline=yes --root="$root" "${unit#"$root"}" 2>/dev/null |
    sed -n 's/.*Overall exposure level for kelvo-driver.service: \([0-9.]*\).*/\1/p')
  if [[ -n "$exposure" ]] && awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }'; then
    ok "exposure $exposure"
  else
    fail "exposure '$exposure' (at most 2.5)"
  fi
fi

for entry in "$root"/usr/share/applications/kelvo-central.desktop "$root"/etc/xdg/autostart/kelvo-central.desktop; do
  if desktop-file-validate "$entry"; then ok "desktop entry ${entry#"$root"}"; else fail "desktop entry ${entry#"$root"}"; fi
done
if appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >"$work/appstream.log" 2>&1; then
  ok "AppStream metadata"
else
  fail "AppStream metadata:"
  cat "$work/appstream.log"
fi

# One version everywhere, and --version needs no display, no bus and no readers.
for program in usr/bin/kelvo-central usr/bin/kelvo-cli usr/sbin/kelvo-driver; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/$program" --version 2>&1)
  check "$program --version: $out" test "$out" = "$(basename "$program") $version"
done
exit $((failures > 0))
