#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build, test and demo the
# gateway. Idempotent; run as root. Only Debian packages are used here.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  libcpp-httplib-dev nlohmann-json3-dev
  # Mail of today, mail server security, the console's login.
  libgmime-3.0-dev libxml2-dev libssl-dev openssl libsodium-dev libmicrohttpd-dev
  dovecot-core dovecot-pop3d python3 python3-aiosmtpd
  python3-dbf python3-dbfread
  procps
  # The Debian package test: cpack's DEB generator (file, dpkg-shlibdeps
  # from dpkg-dev) and systemd-analyze to verify the unit.
  file dpkg-dev systemd
  # The console's browser tests: Debian's Chromium, driven from Node.
  chromium nodejs
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm: Debian's package, unless the installed Node.js already brings its own.
command -v npm >/dev/null 2>&1 || missing+=(npm)

# The browser tests' Node packages (playwright-core, no browser download).
DEPS_ROOT=$(cd "$(dirname "$0")/.." && pwd)
install_node_packages() {
  if command -v npm >/dev/null 2>&1 && [ ! -d "$DEPS_ROOT/tests/browser/node_modules/playwright-core" ]; then
    (cd "$DEPS_ROOT/tests/browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  install_node_packages
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing ${missing[*]}; run this script as root" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# Keep the packaged Dovecot from starting a system instance: tests start
# their own on loopback ports.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
  chmod +x /usr/sbin/policy-rc.d
  trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi
apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_node_packages
