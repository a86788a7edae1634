# Shared by scripts/peers.sh and scripts/tls_peers.sh (sourced, not run):
# where the throw-away server folders live, the numeric owner of the test
# mailboxes, and the helpers that find a free loopback port, wait for a
# server to listen and stop the processes of one run by their PIDs.
PEERS_ROOT="$ROOT/.peers"
MAIL_UID=5000
PY=/usr/bin/python3

free_port() {
  "$PY" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

wait_port() {  # port seconds
  "$PY" - "$1" "$2" <<'EOF'
import socket, sys, time
port, limit = int(sys.argv[1]), float(sys.argv[2])
end = time.time() + limit
while time.time() < end:
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit(1)
EOF
}

# stop_dir DIR: stops the processes listed in DIR/pids (asking first, then
# insisting on exactly those PIDs) and removes DIR.
stop_dir() {
  local dir=$1
  [ -f "$dir/pids" ] || return 0
  while read -r pid; do [ -n "$pid" ] && kill "$pid" 2>/dev/null || true; done < "$dir/pids"
  for _ in $(seq 1 30); do
    local alive=0
    while read -r pid; do [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && alive=1; done < "$dir/pids"
    [ $alive -eq 0 ] && break
    sleep 0.1
  done
  while read -r pid; do [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true; done < "$dir/pids"
  rm -rf "$dir"
}
