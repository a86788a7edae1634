#!/usr/bin/env bash
# The mail servers the integration tests and benchmarks talk to: Dovecot
# (POP3 only) and aiosmtpd, on free loopback ports, with a throw-away
# configuration under .peers/<run>/ in the repository (gitignored). They
# run as plain daemons (no systemd) and are stopped by their own PIDs.
#
#   scripts/peers.sh start    starts both; prints shell `export` lines:
#       ORV_PEERS_DIR   this run's directory (stop uses it)
#       ORV_POP3_HOST ORV_POP3_PORT ORV_POP3_USER ORV_POP3_PASSWORD
#       ORV_MAILDIR     the mailbox (Maildir; drop messages into new/)
#       ORV_MAILDIR_UID the owner Dovecot reads the mailbox as
#       ORV_SMTP_HOST ORV_SMTP_PORT
#       ORV_SMTP_SPOOL  one file NNNNNN.eml per message received, byte for
#                       byte as received (after the server's dot-unstuffing),
#                       and NNNNNN.env beside it: "MAIL FROM:<...>" then one
#                       "RCPT TO:<...>" line per recipient; the .eml file
#                       appears only when both are complete
#   scripts/peers.sh stop     stops the processes of $ORV_PEERS_DIR (or of
#                             every run under .peers/ when unset)
#
# Use:  eval "$(scripts/peers.sh start)"; ...; scripts/peers.sh stop
#
# Dovecot will not serve mail as root: its static userdb gives the mailbox
# the numeric uid/gid 5000 (no passwd entry needed), and the instance has its
# own base_dir, state_dir, instance_name and log path, clear of any system
# instance. Dovecot treats loopback as secure, so plaintext login works.
# aiosmtpd is Debian's python3-aiosmtpd, run with Debian's /usr/bin/python3.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/peer_common.sh"

start_dovecot() {
  local dir=$1 port=$2
  mkdir -p "$dir/dovecot/run" "$dir/dovecot/state" "$dir/home" \
           "$dir/maildir/new" "$dir/maildir/cur" "$dir/maildir/tmp"
  chown -R "$MAIL_UID:$MAIL_UID" "$dir/home" "$dir/maildir"
  # passwd-file: user:{scheme}password:uid:gid::home
  printf 'gateway:{PLAIN}orv-secret:%d:%d::%s\n' "$MAIL_UID" "$MAIL_UID" "$dir/home" > "$dir/dovecot/passwd"
  cat > "$dir/dovecot/dovecot.conf" <<EOF
base_dir = $dir/dovecot/run
state_dir = $dir/dovecot/state
instance_name = orv-peers-$(basename "$dir")
log_path = $dir/dovecot/dovecot.log
info_log_path = $dir/dovecot/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
first_valid_uid = $MAIL_UID
last_valid_uid = $MAIL_UID
first_valid_gid = $MAIL_UID
mail_location = maildir:$dir/maildir
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN $dir/dovecot/passwd
}
userdb {
  driver = static
  args = uid=$MAIL_UID gid=$MAIL_UID home=$dir/home mail=maildir:$dir/maildir
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
}
service imap-login {
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
# No growing delay after the tests' deliberate wrong passwords.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0600
  }
  unix_listener stats-writer {
    mode = 0600
  }
}
EOF
  setsid /usr/sbin/dovecot -F -c "$dir/dovecot/dovecot.conf" > "$dir/dovecot/stdout.log" 2>&1 < /dev/null &
  echo $! >> "$dir/pids"
}

start_smtp() {
  local dir=$1 port=$2
  mkdir -p "$dir/smtp/spool"
  cat > "$dir/smtp/sink.py" <<'EOF'
# SMTP sink: stores each message as received, with its envelope.
import itertools, os, signal, sys
from aiosmtpd.controller import Controller

spool, port = sys.argv[1], int(sys.argv[2])
counter = itertools.count(1)

class Sink:
    async def handle_DATA(self, server, session, envelope):
        n = next(counter)
        base = os.path.join(spool, "%06d" % n)
        with open(base + ".env.tmp", "wb") as f:
            f.write(b"MAIL FROM:<" + envelope.mail_from.encode("utf-8", "surrogateescape") + b">\n")
            for r in envelope.rcpt_tos:
                f.write(b"RCPT TO:<" + r.encode("utf-8", "surrogateescape") + b">\n")
        os.rename(base + ".env.tmp", base + ".env")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK"

controller = Controller(Sink(), hostname="127.0.0.1", port=port, decode_data=False,
                        data_size_limit=64 * 1024 * 1024)
signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
controller.start()
try:
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
finally:
    controller.stop()
EOF
  setsid "$PY" "$dir/smtp/sink.py" "$dir/smtp/spool" "$port" > "$dir/smtp/sink.log" 2>&1 < /dev/null &
  echo $! >> "$dir/pids"
}

cmd_start() {
  mkdir -p "$PEERS_ROOT"
  local dir
  dir=$(mktemp -d "$PEERS_ROOT/run-XXXXXX")
  chmod 755 "$dir"
  : > "$dir/pids"
  local pop3 smtp
  pop3=$(free_port)
  smtp=$(free_port)
  while [ "$smtp" = "$pop3" ]; do smtp=$(free_port); done
  start_dovecot "$dir" "$pop3"
  start_smtp "$dir" "$smtp"
  if ! wait_port "$pop3" 20; then
    echo "peers: Dovecot did not start; see $dir/dovecot/" >&2
    cat "$dir/dovecot/dovecot.log" "$dir/dovecot/stdout.log" >&2 2>/dev/null || true
    stop_dir "$dir"; exit 1
  fi
  if ! wait_port "$smtp" 20; then
    echo "peers: aiosmtpd did not start" >&2
    cat "$dir/smtp/sink.log" >&2 || true
    stop_dir "$dir"; exit 1
  fi
  cat <<EOF
export ORV_PEERS_DIR='$dir'
export ORV_POP3_HOST=127.0.0.1
export ORV_POP3_PORT=$pop3
export ORV_POP3_USER=gateway
export ORV_POP3_PASSWORD=orv-secret
export ORV_MAILDIR='$dir/maildir'
export ORV_MAILDIR_UID=$MAIL_UID
export ORV_SMTP_HOST=127.0.0.1
export ORV_SMTP_PORT=$smtp
export ORV_SMTP_SPOOL='$dir/smtp/spool'
EOF
}

cmd_stop() {
  if [ -n "${ORV_PEERS_DIR:-}" ]; then
    stop_dir "$ORV_PEERS_DIR"
  else
    for d in "$PEERS_ROOT"/run-*; do [ -d "$d" ] && stop_dir "$d"; done
  fi
  return 0
}

case "${1:-}" in
  start) cmd_start ;;
  stop) cmd_stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
