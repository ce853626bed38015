#!/bin/bash
# The update server for a local run of the setup: nginx serving a published
# release tree over HTTPS on 127.0.0.1, as an ordinary process of the user
# (never the system service), with a certificate from a CA of its own.
#
#   update-server.sh start <state-dir> <port> <doc-root>
#   update-server.sh stop  <state-dir>
#   update-server.sh port-free <port>   (exit 0 when nothing listens there)
#
# start makes <state-dir>/certs if needed (ca.pem, ca.der for Windows, and a
# server certificate for DNS:localhost and IP:127.0.0.1, all kept while they
# are valid), writes <state-dir>/nginx.conf from nginx.conf.in, starts nginx
# and returns once it answers https://localhost:<port>/ with that certificate.
# It fails, saying why, when the port is taken. stop ends that nginx (and
# nothing else: the pid must still be an nginx).
set -u

here=$(dirname "$(realpath "$0")")

die() {
  echo "update-server: $*" >&2
  exit 1
}

# pid_is <pid> <word>: alive and its command line holds the word, so a pid
# recycled by another program is never signalled.
pid_is() {
  [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q -- "$2"
}

port_is_free() {
  python3 - "$1" 2>/dev/null <<'EOF'
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
EOF
}

# Valid for at least another day.
still_valid() {
  [ -f "$1" ] && openssl x509 -in "$1" -noout -checkend 86400 >/dev/null 2>&1
}

make_certificates() {
  local dir=$1
  mkdir -p "$dir" || return 1
  if ! still_valid "$dir/ca.pem" || [ ! -f "$dir/ca.key" ]; then
    rm -f "$dir"/*
    openssl req -x509 -newkey rsa:2048 -nodes -days 90 -subj "/CN=Hollowbranch Local Run CA" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
      -keyout "$dir/ca.key" -out "$dir/ca.pem" || return 1
    openssl x509 -in "$dir/ca.pem" -outform der -out "$dir/ca.der" || return 1
  fi
  if still_valid "$dir/server.pem" && openssl verify -CAfile "$dir/ca.pem" "$dir/server.pem" >/dev/null 2>&1; then
    return 0
  fi
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
    >"$dir/server.ext"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$dir/server.key" -out "$dir/server.csr" &&
    openssl x509 -req -days 60 -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial \
      -extfile "$dir/server.ext" -out "$dir/server.pem"
}

# Sed replacement text: the delimiter and & escaped.
sed_text() {
  printf '%s' "$1" | sed -e 's/[|&\\]/\\&/g'
}

write_config() {
  local state=$1 port=$2 docroot=$3 user_line=""
  # Run by root, nginx would hand its workers to "nobody", who may not enter
  # a checkout in root's home.
  [ "$(id -u)" -eq 0 ] && user_line="user root;"
  sed -e "s|@USER_LINE@|$(sed_text "$user_line")|" \
    -e "s|@STATE@|$(sed_text "$state")|g" \
    -e "s|@PORT@|$port|g" \
    -e "s|@DOC_ROOT@|$(sed_text "$docroot")|g" \
    -e "s|@CERT@|$(sed_text "$state/certs/server.pem")|g" \
    -e "s|@KEY@|$(sed_text "$state/certs/server.key")|g" \
    "$here/nginx.conf.in" >"$state/nginx.conf"
}

# One GET of the root document, checked against the CA and the name
# localhost, as the setup will make it.
answers() {
  python3 - "$1" "$2" <<'EOF' >/dev/null 2>&1
import ssl, sys, urllib.request, urllib.error
context = ssl.create_default_context(cafile=sys.argv[2])
try:
    urllib.request.urlopen("https://localhost:%s/" % sys.argv[1], context=context, timeout=5)
except urllib.error.HTTPError:
    pass  # an answer, even 404 or 403, is a server that is up
EOF
}

stop_server() {
  local state=$1 pid=""
  [ -f "$state/nginx.pid" ] && pid=$(tr -dc 0-9 <"$state/nginx.pid")
  if pid_is "$pid" nginx; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 50); do
      pid_is "$pid" nginx || break
      sleep 0.1
    done
    pid_is "$pid" nginx && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$state/nginx.pid"
}

start_server() {
  local state=$1 port=$2 docroot=$3
  command -v nginx >/dev/null || die "nginx is not installed (apt-get install nginx)"
  command -v openssl >/dev/null || die "openssl is not installed"
  command -v python3 >/dev/null || die "python3 is not installed"
  [[ $port =~ ^[0-9]+$ ]] && [ "$port" -gt 0 ] && [ "$port" -lt 65536 ] || die "bad port '$port'"
  [ -f "$docroot/general_fileinfo.ini" ] || die "$docroot holds no general_fileinfo.ini: publish a release into it first"
  mkdir -p "$state/temp" || die "cannot make $state"

  stop_server "$state"
  port_is_free "$port" ||
    die "port $port on 127.0.0.1 is busy: another program listens there (choose another port with --port or HOLLOWBRANCH_RUN_PORT)"
  make_certificates "$state/certs" >>"$state/openssl.log" 2>&1 ||
    die "openssl could not make the certificates, see $state/openssl.log"
  write_config "$state" "$port" "$docroot" || die "cannot write $state/nginx.conf"

  # -e: messages from before the configuration is read go there too.
  nginx -p "$state" -e "$state/error.log" -c "$state/nginx.conf" </dev/null >>"$state/nginx.out" 2>&1 ||
    die "nginx did not start: $(tail -n 3 "$state/error.log" "$state/nginx.out" 2>/dev/null | grep -v '^==>' | grep . | tail -n 2)"
  for _ in $(seq 50); do
    answers "$port" "$state/certs/ca.pem" && return 0
    sleep 0.1
  done
  stop_server "$state"
  die "nginx started but https://localhost:$port/ does not answer with the run's certificate, see $state/error.log"
}

case ${1:-} in
  start)
    [ $# -eq 4 ] || die "usage: update-server.sh start <state-dir> <port> <doc-root>"
    mkdir -p "$2" || die "cannot make $2"
    start_server "$(realpath "$2")" "$3" "$(realpath "$4")"
    ;;
  stop)
    [ $# -eq 2 ] || die "usage: update-server.sh stop <state-dir>"
    stop_server "$(realpath -m "$2")"
    ;;
  port-free)
    [ $# -eq 2 ] || die "usage: update-server.sh port-free <port>"
    port_is_free "$2"
    ;;
  *) die "usage: update-server.sh start <state-dir> <port> <doc-root> | stop <state-dir> | port-free <port>" ;;
esac
