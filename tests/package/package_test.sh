#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, checks what
# it holds, unpacks it into a scratch root and runs the programs from
# there: --version, --help, a French text found under share/orvane, and
# settings written with /Set on a sample database.
#
# Usage: package_test.sh BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_in() {  # expect_in FILE TEXT WHAT
  grep -qF -- "$2" "$1" || fail "$3: '$2' not found in: $(head -c 2000 "$1")"
}

# 1. The package.
(cd "$build" && cpack -G DEB -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1) || {
  cat "$scratch/cpack.log" >&2
  fail "cpack -G DEB"
  exit 1
}
deb=$(ls "$scratch"/pkg/*.deb)
echo "package: $(basename "$deb")"

# 2. Its contents and control files.
dpkg-deb -c "$deb" | awk '{print $NF}' >"$scratch/contents"
for path in ./usr/bin/orvserv ./usr/bin/orvdb ./usr/bin/tarnwick-sim \
            ./usr/share/orvane/msg0000.txt ./usr/share/orvane/msg000c.txt \
            ./usr/share/orvane/manual/0000/Index.htm ./usr/share/orvane/manual/0000/TableOfContents.htm \
            ./usr/lib/systemd/system/orvane@.service ./etc/orvane/example.conf; do
  grep -qx -- "$path" "$scratch/contents" || fail "package lacks $path"
done
dpkg-deb -e "$deb" "$scratch/control"
expect_in "$scratch/control/conffiles" /etc/orvane/example.conf "conffiles"
expect_in "$scratch/control/control" adduser "Depends"
expect_in "$scratch/control/postinst" "adduser --system" "postinst"
expect_in "$scratch/control/postinst" "/usr/sbin/nologin" "postinst"
[ -x "$scratch/control/postinst" ] || fail "postinst is not executable"
sh -n "$scratch/control/postinst" || fail "postinst is not valid sh"
sh -n "$scratch/control/prerm" || fail "prerm is not valid sh"
sh -n "$scratch/control/postrm" || fail "postrm is not valid sh"

# 3. Unpacked into a scratch root.
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
unit="$root/usr/lib/systemd/system/orvane@.service"
for line in 'User=orvane' 'EnvironmentFile=/etc/orvane/%i.conf' 'Restart=on-failure' 'ProtectSystem=strict' \
            'ProtectHome=true' 'NoNewPrivileges=true' 'PrivateTmp=true' 'ReadWritePaths=' \
            'ExecStart=/usr/bin/orvserv "/TarnwickDatabase:${ORVANE_DATABASE}" $ORVANE_OPTIONS'; do
  expect_in "$unit" "$line" "unit"
done
expect_in "$root/etc/orvane/example.conf" "ORVANE_DATABASE=" "example.conf"
expect_in "$root/etc/orvane/example.conf" "ORVANE_OPTIONS=" "example.conf"

# 4. The unit, checked by systemd where it is installed. The instance is
# checked with the unpacked program in the place of /usr/bin/orvserv.
if command -v systemd-analyze >/dev/null 2>&1; then
  mkdir -p "$scratch/units"
  sed "s|/usr/bin/orvserv|$root/usr/bin/orvserv|" "$unit" >"$scratch/units/orvane@test.service"
  if ! SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$scratch/units/orvane@test.service" \
      >"$scratch/verify.log" 2>&1; then
    # Complaints about this machine (no user orvane, no /etc/orvane/test.conf)
    # are not about the unit.
    if grep -v -e "orvane" -e "test.conf" -e "^$" "$scratch/verify.log" | grep -q .; then
      cat "$scratch/verify.log" >&2
      fail "systemd-analyze verify"
    fi
  fi
  grep -i -e "unknown" -e "ignoring" "$scratch/verify.log" && fail "systemd-analyze verify: unknown setting"
else
  echo "SKIP: systemd-analyze is not installed; the unit file was not verified"
fi

# 5. The unpacked programs, which find their texts under ../share/orvane.
bin="$root/usr/bin"
timeout 20 "$bin/orvserv" --version </dev/null >"$scratch/out" 2>&1 || fail "orvserv --version exit status"
expect_in "$scratch/out" "orvserv 3." "orvserv --version"
for help in --help -h '/?'; do
  timeout 20 "$bin/orvserv" "$help" </dev/null >"$scratch/out" 2>&1 || fail "orvserv $help exit status"
  expect_in "$scratch/out" "Usage: orvserv [options]" "orvserv $help"
  expect_in "$scratch/out" "/TarnwickDatabase:" "orvserv $help"
  expect_in "$scratch/out" "/Set:" "orvserv $help"
  grep -q '^ *\*\|: \*' "$scratch/out" && fail "orvserv $help shows a marked text: $(grep '\*' "$scratch/out")"
done
timeout 20 "$bin/orvserv" /LANGID:040C --help </dev/null >"$scratch/out" 2>&1 || fail "French help exit status"
expect_in "$scratch/out" "Utilisation: orvserv" "orvserv /LANGID:040C --help"
expect_in "$scratch/out" "Emplacement de la base Tarnwick." "orvserv /LANGID:040C --help"
for tool in orvdb tarnwick-sim; do
  timeout 20 "$bin/$tool" --version >"$scratch/out" 2>&1 || fail "$tool --version exit status"
  expect_in "$scratch/out" "$tool 3." "$tool --version"
  timeout 20 "$bin/$tool" --help >"$scratch/out" 2>&1 || fail "$tool --help exit status"
  expect_in "$scratch/out" "e.g. $tool" "$tool --help"
done

# 6. Settings for a scripted install, written with the unpacked programs.
db="$scratch/tarnwick"
"$bin/tarnwick-sim" create "$db" >"$scratch/out" 2>&1 || { cat "$scratch/out" >&2; fail "tarnwick-sim create"; }
printf 'se cret\n' | timeout 60 "$bin/orvserv" "/TarnwickDatabase:$db" /Set:101=pop.example.org /Set:103=gateway \
    /SetFromStdin:104 </dev/stdin >"$scratch/out" 2>&1 || { cat "$scratch/out" >&2; fail "orvserv /Set"; }
cfg="$db/@Orvane/orvserv.cfg"
if [ -f "$cfg" ]; then
  expect_in "$cfg" "[101] pop.example.org" "orvserv.cfg"
  expect_in "$cfg" "[103] gateway" "orvserv.cfg"
  grep -qF "se cret" "$cfg" && fail "orvserv.cfg holds the password in clear"
  expect_in "$cfg" "[104] " "orvserv.cfg"
  [ "$(stat -c %a "$cfg")" = 600 ] || fail "orvserv.cfg mode is $(stat -c %a "$cfg"), not 600"
else
  fail "/Set wrote no $cfg"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package: all checks passed"
