#!/usr/bin/env bash
# The demo: installs what is missing, builds, makes a sample maintenance
# database with tarnwick-sim, starts the local POP3 (Dovecot) and SMTP
# (aiosmtpd) servers with a mailbox of sample requests, and runs orvserv on
# it with a one-minute timer. Open the printed address in a browser.
# Ctrl-C stops orvserv and the two servers (by their own PIDs) and nothing
# else; the demo's files stay in .demo/ for a look afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
PORT=${ORV_DEMO_PORT:-7480}

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc >/dev/null
cmake --build build -j"$(nproc)" --target orvserv tarnwick-sim

DEMO="$ROOT/.demo"
rm -rf "$DEMO"
mkdir -p "$DEMO"
build/bin/tarnwick-sim create "$DEMO/maintenance"
# The demo's mail servers speak plain text on loopback. A settings file the
# gateway makes forbids passwords over unencrypted connections; allow them
# here, as the operator of such a server would (setting 329).
build/bin/orvserv "/TarnwickDatabase:$DEMO/maintenance" /Run:update /Listen:off /AssumeYes+ < /dev/null > /dev/null
sed -i 's/^\[329\] 0\r$/[329] 1\r/' "$DEMO/maintenance/@Orvane/orvserv.cfg"

eval "$(scripts/peers.sh start)"
GATEWAY_PID=
cleanup() {
  trap - INT TERM EXIT
  if [ -n "$GATEWAY_PID" ] && kill -0 "$GATEWAY_PID" 2>/dev/null; then
    kill -TERM "$GATEWAY_PID" 2>/dev/null || true
    wait "$GATEWAY_PID" 2>/dev/null || true
  fi
  scripts/peers.sh stop
  echo "demo stopped; its database is in $DEMO/maintenance"
}
trap cleanup INT TERM EXIT

# The sample requests: new senders, a request form, an enquiry, a rejected
# one and one whose subject and sender hold HTML and script text.
n=0
for f in tests/browser/mail/*.eml; do
  n=$((n + 1))
  cp "$f" "$ORV_MAILDIR/new/$(date +%s).demo_$n"
done
chown -R "$ORV_MAILDIR_UID:$ORV_MAILDIR_UID" "$ORV_MAILDIR"

build/bin/orvserv "/TarnwickDatabase:$DEMO/maintenance" "/Listen:127.0.0.1:$PORT" &
GATEWAY_PID=$!

# Settings through the console, as an operator would enter them, logged
# in with the token orvserv keeps in @Orvane/console.token.
TOKEN_FILE="$DEMO/maintenance/@Orvane/console.token"
JAR="$DEMO/cookies.txt"
LOGIN_URL=
for _ in $(seq 1 100); do
  if [ -s "$TOKEN_FILE" ]; then
    LOGIN_URL="http://127.0.0.1:$PORT/?token=$(cat "$TOKEN_FILE")"
    curl -sf -o /dev/null -c "$JAR" "$LOGIN_URL" 2>/dev/null && page=$(curl -sf -b "$JAR" "http://127.0.0.1:$PORT/") && break
  fi
  kill -0 "$GATEWAY_PID" 2>/dev/null || { echo "orvserv did not start" >&2; exit 1; }
  sleep 0.1
done
token=$(sed -nE 's/.*name="orv-token" content="([0-9a-f]+)".*/\1/p' <<<"$page")
post() {
  curl -sf -o /dev/null -b "$JAR" -H "X-Orvane-Token: $token" -H 'Content-Type: application/json' \
    -d "$1" "http://127.0.0.1:$PORT/api/setting"
}
post "{\"setting\":101,\"value\":\"$ORV_POP3_HOST\"}"
post "{\"setting\":105,\"value\":\"$ORV_POP3_PORT\"}"
post "{\"setting\":103,\"value\":\"$ORV_POP3_USER\"}"
post "{\"setting\":104,\"value\":\"$ORV_POP3_PASSWORD\"}"
post "{\"setting\":102,\"value\":\"$ORV_SMTP_HOST\"}"
post "{\"setting\":106,\"value\":\"$ORV_SMTP_PORT\"}"
post '{"setting":155,"value":"gateway@example.org"}'
post '{"interval":{"quantity":1,"unit":1}}'
# Notices name their request in the Subject ("[@O01001]"), so that a plain
# reply to one is a status enquiry about that request (setting 313).
post '{"setting":313,"checked":true}' || echo "the console did not take setting 313" >&2

cat <<EOF2

  The @Orvane console is at $LOGIN_URL
  (the address logs you in; the token is kept in $TOKEN_FILE).
  A mailbox of $n sample requests is waiting; the gateway fetches it within
  a minute, or at once with Actions > Do All. Sent acknowledgements land in
  $ORV_SMTP_SPOOL.
  Press Ctrl-C to stop.

EOF2
wait "$GATEWAY_PID"
