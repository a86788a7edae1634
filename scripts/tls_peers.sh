#!/usr/bin/env bash
# Mail servers with TLS for the TLS tests, on free loopback ports, beside
# (not instead of) those of scripts/peers.sh: a test CA and certificates
# made here with the openssl command, a Dovecot with "ssl = required"
# (STLS on one port, POP3S on another), and the Python servers of
# scripts/tls_peers/servers.py (aiosmtpd with STARTTLS and with implicit
# TLS, listeners with a wrong host name, an expired certificate and an
# unknown CA, XOAUTH2 servers for POP3 and SMTP, an HTTPS token endpoint,
# servers that offer no STLS/STARTTLS, and proxies that strip STLS and
# STARTTLS from the capability lists). Throw-away files under
# .peers/tls-<run>/ (gitignored).
#
#   scripts/tls_peers.sh start   prints shell `export` lines (ORV_TLS_*)
#   scripts/tls_peers.sh stop    stops the processes of $ORV_TLS_DIR
#
# Every listener records what clients sent it to log in, in
# $ORV_TLS_DIR/auth.log (one line per attempt: listener, mechanism, user,
# secret), and the proxies record every byte the client sent, so the tests
# can prove that no password went out.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/peer_common.sh"

# sign NAME SAN [startdate enddate]: a key and a certificate signed by the
# test CA (openssl ca, which can also date a certificate in the past).
sign() {
  local name=$1 san=$2 start=${3:-} end=${4:-}
  local c="$DIR/certs"
  openssl req -new -newkey rsa:2048 -nodes -keyout "$c/$name.key" -subj "/CN=$name" \
    -out "$c/$name.csr" 2>/dev/null
  printf 'subjectAltName = %s\nbasicConstraints = CA:FALSE\nextendedKeyUsage = serverAuth\n' "$san" > "$c/$name.ext"
  local dates=(-days 30)
  [ -n "$start" ] && dates=(-startdate "$start" -enddate "$end")
  openssl ca -batch -notext -config "$c/ca.cnf" -extfile "$c/$name.ext" "${dates[@]}" \
    -in "$c/$name.csr" -out "$c/$name.pem" 2>/dev/null
}

make_certs() {
  local c="$DIR/certs"
  mkdir -p "$c/newcerts"
  : > "$c/index.txt"
  echo 1000 > "$c/serial"
  cat > "$c/ca.cnf" <<EOF
[ ca ]
default_ca = test_ca
[ test_ca ]
dir = $c
database = $c/index.txt
new_certs_dir = $c/newcerts
serial = $c/serial
certificate = $c/ca.pem
private_key = $c/ca.key
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[ any ]
commonName = supplied
EOF
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$c/ca.key" -out "$c/ca.pem" -days 30 \
    -subj "/CN=Orvane Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  sign localhost "DNS:localhost,IP:127.0.0.1"
  sign wronghost "DNS:mail.elsewhere.example"
  sign expired "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20200201000000Z
  # A certificate of a CA nobody trusts here (self-signed).
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$c/unknownca.key" -out "$c/unknownca.pem" -days 30 \
    -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" 2>/dev/null
}

fingerprint() {  # certificate file -> AB:CD:...
  openssl x509 -in "$1" -noout -fingerprint -sha256 | sed 's/.*=//'
}

start_dovecot() {
  local stls=$1 pop3s=$2 d="$DIR/dovecot"
  mkdir -p "$d/run" "$d/state" "$DIR/home" "$DIR/maildir/new" "$DIR/maildir/cur" "$DIR/maildir/tmp"
  chown -R "$MAIL_UID:$MAIL_UID" "$DIR/home" "$DIR/maildir"
  printf 'gateway:{PLAIN}orv-tls-secret:%d:%d::%s\n' "$MAIL_UID" "$MAIL_UID" "$DIR/home" > "$d/passwd"
  cat > "$d/dovecot.conf" <<EOF
base_dir = $d/run
state_dir = $d/state
instance_name = orv-tls-$(basename "$DIR")
log_path = $d/dovecot.log
info_log_path = $d/dovecot.log
auth_verbose = yes
protocols = pop3
listen = 127.0.0.1
ssl = required
ssl_cert = <$DIR/certs/localhost.pem
ssl_key = <$DIR/certs/localhost.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = yes
auth_mechanisms = plain
auth_failure_delay = 0
first_valid_uid = $MAIL_UID
last_valid_uid = $MAIL_UID
first_valid_gid = $MAIL_UID
mail_location = maildir:$DIR/maildir
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN $d/passwd
}
userdb {
  driver = static
  args = uid=$MAIL_UID gid=$MAIL_UID home=$DIR/home mail=maildir:$DIR/maildir
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    address = 127.0.0.1
    port = $stls
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $pop3s
    ssl = yes
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
  setsid /usr/sbin/dovecot -F -c "$d/dovecot.conf" > "$d/stdout.log" 2>&1 < /dev/null &
  echo $! >> "$DIR/pids"
}

cmd_start() {
  mkdir -p "$PEERS_ROOT"
  DIR=$(mktemp -d "$PEERS_ROOT/tls-XXXXXX")
  chmod 755 "$DIR"
  : > "$DIR/pids"
  make_certs
  local stls pop3s
  stls=$(free_port)
  pop3s=$(free_port)
  while [ "$pop3s" = "$stls" ]; do pop3s=$(free_port); done
  start_dovecot "$stls" "$pop3s"
  mkdir -p "$DIR/spool"
  setsid "$PY" "$ROOT/scripts/tls_peers/servers.py" "$DIR" "$stls" > "$DIR/servers.log" 2>&1 < /dev/null &
  echo $! >> "$DIR/pids"
  for port in "$stls" "$pop3s"; do
    if ! wait_port "$port" 20; then
      echo "tls_peers: Dovecot did not start; see $DIR/dovecot/" >&2
      cat "$DIR/dovecot/dovecot.log" "$DIR/dovecot/stdout.log" >&2 2>/dev/null || true
      stop_dir "$DIR"; exit 1
    fi
  done
  for _ in $(seq 1 200); do [ -f "$DIR/servers.env" ] && break; sleep 0.1; done
  if [ ! -f "$DIR/servers.env" ]; then
    echo "tls_peers: the Python servers did not start" >&2
    cat "$DIR/servers.log" >&2 || true
    stop_dir "$DIR"; exit 1
  fi
  cat <<EOF
export ORV_TLS_DIR='$DIR'
export ORV_TLS_CA='$DIR/certs/ca.pem'
export ORV_TLS_HOST=localhost
export ORV_TLS_POP3_STLS_PORT=$stls
export ORV_TLS_POP3S_PORT=$pop3s
export ORV_TLS_POP3_USER=gateway
export ORV_TLS_POP3_PASSWORD=orv-tls-secret
export ORV_TLS_MAILDIR='$DIR/maildir'
export ORV_TLS_MAILDIR_UID=$MAIL_UID
export ORV_TLS_SPOOL='$DIR/spool'
export ORV_TLS_GOOD_FINGERPRINT='$(fingerprint "$DIR/certs/localhost.pem")'
export ORV_TLS_UNKNOWNCA_FINGERPRINT='$(fingerprint "$DIR/certs/unknownca.pem")'
EOF
  cat "$DIR/servers.env"
}

cmd_stop() {
  if [ -n "${ORV_TLS_DIR:-}" ]; then
    stop_dir "$ORV_TLS_DIR"
  else
    for d in "$PEERS_ROOT"/tls-*; do [ -d "$d" ] && stop_dir "$d"; done
  fi
  return 0
}

case "${1:-}" in
  start) cmd_start ;;
  stop) cmd_stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
