#!/usr/bin/env bash
# Shared-database soak: tests/soak/run.sh SECONDS [soak.py options]
#
# Starts its own local POP3 and SMTP servers (scripts/peers.sh, loopback
# only), runs tests/soak/soak.py for SECONDS with the binaries of $ORV_BIN
# (default: build/bin, built here when missing), prints the report, stops
# the servers by their own PIDs and exits 1 on any invariant violation.
# The databases, logs and report stay in $ORV_SOAK_DIR (default
# build-soak-runs/<time>). Options after SECONDS go to soak.py: --seed N, --rate N.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
cd "$ROOT"
[ $# -ge 1 ] || { echo "usage: tests/soak/run.sh SECONDS [--seed N] [--rate PER_MINUTE]" >&2; exit 2; }
SECONDS_ARG=$1; shift
BIN=${ORV_BIN:-$ROOT/build/bin}
if [ ! -x "$BIN/orvserv" ] || [ ! -x "$BIN/orvdb" ] || [ ! -x "$BIN/tarnwick-sim" ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
  cmake --build build -j"$(nproc)" --target orvserv orvdb tarnwick-sim
  BIN=$ROOT/build/bin
fi
# The checker first: it must see the breaches it is there to count.
/usr/bin/python3 -m unittest -q tests/soak/test_soak_check.py

WORK=${ORV_SOAK_DIR:-$ROOT/build-soak-runs/$(date +%Y%m%d-%H%M%S)-$$}
mkdir -p "$(dirname "$WORK")"

# Our own servers, whatever the caller has running.
unset ORV_PEERS_DIR
eval "$(scripts/peers.sh start)"
trap 'scripts/peers.sh stop' EXIT

/usr/bin/python3 tests/soak/soak.py "$SECONDS_ARG" --bin "$BIN" --work "$WORK" "$@"
