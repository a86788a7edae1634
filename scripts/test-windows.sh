#!/usr/bin/env bash
# Runs the Windows build's tests under Wine (headless): the unit tests that
# need no real server and the engine's fault tests, then the cross-platform
# lock test (tests/windows/cross_lock_test.sh, with the Linux build in build/). Builds build-windows/
# first when it is missing (scripts/build-windows.sh, which also installs
# Wine). Prints "windows tests: P passed, F failed" last; exits 1 on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
TESTS=${ORV_WINDOWS_TESTS:-'^(common|engine|platform)$'}

if [ ! -e build-windows/sysroot.txt ] || ! command -v wine >/dev/null; then
  bash scripts/build-windows.sh
fi

export WINEPREFIX=${WINEPREFIX:-$ROOT/build-windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The programs' DLLs sit in build-windows/bin; the test binaries elsewhere.
export WINEPATH="Z:${ROOT//\//\\}\\build-windows\\bin"
# Wine's locale follows the Unix one; pin it so code pages are the same on
# every machine.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# One persistent wineserver for all tests (a cold start costs seconds per
# test), started with its output away from ctest's pipes: Wine's helper
# processes inherit them otherwise, and ctest waits for ever.
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT

status=0
(cd build-windows && ctest --output-on-failure -R "$TESTS" --timeout 1200) 2>&1 | tee build-windows/ctest.log || true
line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' build-windows/ctest.log | tail -1 || true)
if [ -z "$line" ]; then
  passed=0; failed=1
else
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((total - failed))
fi

# Windows and Linux programs on the same tables at once (needs the Linux
# build of scripts/test.sh).
if [ -x build/bin/tarnwick-sim ] && [ -x build/bin/orvdb ]; then
  if bash tests/windows/cross_lock_test.sh "$ROOT/build/bin" "$ROOT/build-windows/bin"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
else
  echo "cross-lock: no Linux build in build/bin"
  failed=$((failed + 1))
fi
[ "$failed" -eq 0 ] || status=1
echo "windows tests: $passed passed, $failed failed"
exit $status
