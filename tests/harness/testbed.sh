#!/bin/bash
# The test bed the Windows tests run in: an Xvfb display, a fresh Wine prefix
# with a persistent wineserver, a test CA trusted by Windows, and the HTTPS
# update server on 127.0.0.1.
#
#   testbed.sh start <state-dir>   (stops whatever a crashed run left first)
#   testbed.sh stop  <state-dir>
#
# <state-dir>/config.sh is written by CMake: HB_TEST_PORT, HB_WINE_ARCH,
# HB_WINE_LOADER, HB_TEST_BIN_UNIX, HB_TRUST_CA_EXE, HB_VBS_CAPTURE_EXE.
# start writes <state-dir>/env.sh, which wine-run.sh sources.
set -u

starting=""
die() {
  echo "testbed: $*" >&2
  # A half-started bed must not leave its daemons behind.
  [ -n "$starting" ] && stop_testbed
  exit 1
}

[ $# -eq 2 ] || die "usage: testbed.sh start|stop <state-dir>"
action=$1
state=$(realpath -m "$2")
harness=$(dirname "$(realpath "$0")")
[ -f "$state/config.sh" ] || die "$state/config.sh is missing (CMake writes it when it configures the tests)"
# shellcheck source=/dev/null
. "$state/config.sh"

windows_path() { # /a/b -> Z:\a\b
  printf 'Z:%s' "${1//\//\\}"
}

# pid_is <pid> <word>: the pid is alive and its command line holds the word,
# so a recycled pid of some other program is never killed.
pid_is() {
  [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q -- "$2"
}

stop_pid() {
  local pid=$1 word=$2
  pid_is "$pid" "$word" || return 0
  kill "$pid" 2>/dev/null
  for _ in $(seq 50); do
    pid_is "$pid" "$word" || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
}

pick_wineserver() {
  local s
  for s in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32; do
    if [ -x "$s" ] && "$s" --version >/dev/null 2>&1; then
      echo "$s"
      return 0
    fi
  done
  return 1
}

stop_testbed() {
  local HB_SERVER_PID="" HB_XVFB_PID="" wineserver
  if [ -f "$state/env.sh" ]; then
    # shellcheck source=/dev/null
    . "$state/env.sh"
  fi
  stop_pid "$HB_SERVER_PID" https_server.py
  if [ -d "$state/prefix" ] && wineserver=$(pick_wineserver); then
    WINEPREFIX="$state/prefix" "$wineserver" -k >/dev/null 2>&1
    WINEPREFIX="$state/prefix" timeout 20 "$wineserver" -w >/dev/null 2>&1
  fi
  stop_pid "$HB_XVFB_PID" Xvfb
  rm -f "$state/env.sh"
}

# A value of a .reg file: backslashes and quotes escaped.
reg_string() {
  local s=${1//\\/\\\\}
  printf '"%s"' "${s//\"/\\\"}"
}

make_certificates() {
  local dir=$state/certs name
  rm -rf "$dir" && mkdir -p "$dir" || return 1
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' >"$dir/server.ext"
  # "ca" is trusted by the prefix, "untrusted" is not; each signs a server
  # certificate for localhost.
  for name in ca untrusted; do
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Hollowbranch Test $name" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign \
      -keyout "$dir/$name.key" -out "$dir/$name.pem" &&
      openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
        -keyout "$dir/$name-server.key" -out "$dir/$name-server.csr" &&
      openssl x509 -req -days 30 -in "$dir/$name-server.csr" -CA "$dir/$name.pem" -CAkey "$dir/$name.key" \
        -CAcreateserial -extfile "$dir/server.ext" -out "$dir/$name-server.pem" || return 1
  done
  openssl x509 -in "$dir/ca.pem" -outform der -out "$dir/ca.der"
} >>"$state/openssl.log" 2>&1

start_testbed() {
  local started=$SECONDS wineserver display="" i
  stop_testbed
  starting=1

  command -v openssl >/dev/null || die "openssl is not installed (scripts/deps.sh installs it)"
  [ -x /usr/bin/python3 ] || die "/usr/bin/python3 is not installed"
  command -v Xvfb >/dev/null || die "Xvfb is not installed (package xvfb)"
  [ -x "$HB_WINE_LOADER" ] || die "$HB_WINE_LOADER is missing (packages wine, wine32:i386 or wine64)"
  "$HB_WINE_LOADER" --version >/dev/null 2>&1 ||
    die "$HB_WINE_LOADER does not run here: this machine cannot run $HB_WINE_ARCH Wine (a kernel without 32-bit support needs the 64-bit test build, cmake/mingw-x86_64.cmake)"
  wineserver=$(pick_wineserver) || die "no working wineserver in /usr/lib/wine"
  [ -f "$HB_TRUST_CA_EXE" ] || die "$HB_TRUST_CA_EXE is missing (build the tests first)"
  /usr/bin/python3 - "$HB_TEST_PORT" 2>/dev/null <<'EOF' || die "port $HB_TEST_PORT on 127.0.0.1 is busy: another server or test bed uses it (set HOLLOWBRANCH_TEST_PORT)"
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
EOF

  # All that an earlier run left (the old prefix above all) is moved aside
  # and deleted in the background while the new bed comes up.
  local old entry
  old=$(mktemp -d "$state/old.XXXXXX") || die "cannot write in $state"
  for entry in "$state"/*; do
    case ${entry##*/} in config.sh | old.*) ;; *) mv "$entry" "$old/" ;; esac
  done
  rm -rf "$state"/old.* </dev/null >/dev/null 2>&1 &
  local cleaner_pid=$!
  mkdir -p "$state/prefix" "$state/home" "$state/www" "$state/scratch" || die "cannot make $state"
  : >"$state/rules"
  : >"$state/requests.log"
  for entry in xvfb wine server openssl; do : >"$state/$entry.log"; done
  export HOME="$state/home" WINEPREFIX="$state/prefix" WINEARCH="$HB_WINE_ARCH" WINEDEBUG=-all
  export WINESERVER="$wineserver" WINELOADER="$HB_WINE_LOADER" WINEDLLOVERRIDES="winemenubuilder.exe=d"
  unset WINEDLLPATH
  export DISPLAY=""

  # Every daemon gets files for its output: an inherited pipe would keep
  # ctest waiting for the start step to end.
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    9>"$state/display" </dev/null >>"$state/xvfb.log" 2>&1 &
  local xvfb_pid=$!
  write_env "$xvfb_pid" ""

  for i in $(seq 100); do
    display=$(tr -dc 0-9 <"$state/display")
    [ -n "$display" ] && break
    pid_is $xvfb_pid Xvfb || break
    sleep 0.1
  done
  [ -n "$display" ] || { cat "$state/xvfb.log" >&2; die "Xvfb did not start"; }
  export DISPLAY=":$display"

  "$wineserver" -p </dev/null >>"$state/wine.log" 2>&1 || die "wineserver -p failed, see $state/wine.log"
  WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d" \
    timeout 120 "$WINELOADER" wineboot -i </dev/null >>"$state/wine.log" 2>&1 &
  local wineboot_pid=$!

  make_certificates || die "openssl could not make the test certificates, see $state/openssl.log"
  /usr/bin/python3 "$harness/https_server.py" --state "$state" --port "$HB_TEST_PORT" \
    --cert "$state/certs/ca-server.pem" --key "$state/certs/ca-server.key" \
    --untrusted-cert "$state/certs/untrusted-server.pem" --untrusted-key "$state/certs/untrusted-server.key" \
    </dev/null >>"$state/server.log" 2>&1 &
  local server_pid=$!
  write_env "$xvfb_pid" "$server_pid"
  for i in $(seq 100); do
    [ -f "$state/server.ready" ] && break
    pid_is $server_pid https_server.py || break
    sleep 0.1
  done
  [ -f "$state/server.ready" ] || { cat "$state/server.log" >&2; die "the HTTPS server did not start"; }
  write_env "$xvfb_pid" "$server_pid"

  wait $wineboot_pid || die "wineboot -i failed, see $state/wine.log"

  local capture
  capture=$(windows_path "$HB_VBS_CAPTURE_EXE")
  {
    printf 'REGEDIT4\r\n\r\n'
    # Xvfb has no window manager: unmanaged windows, or hiding one stalls.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
    # A crashing test program ends instead of waiting on a dialog.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
    # Scripts handed to the shell are recorded instead of run.
    printf '[HKEY_CLASSES_ROOT\\.vbs]\r\n@="VBSFile"\r\n\r\n'
    printf '[HKEY_CLASSES_ROOT\\VBSFile\\shell\\open\\command]\r\n@=%s\r\n\r\n' "$(reg_string "\"$capture\" \"%1\"")"
  } >"$state/testbed.reg"
  "$WINELOADER" reg import "$(windows_path "$state/testbed.reg")" </dev/null >>"$state/wine.log" 2>&1 ||
    die "reg import of $state/testbed.reg failed, see $state/wine.log"
  "$WINELOADER" "$HB_TRUST_CA_EXE" "$(windows_path "$state/certs/ca.der")" </dev/null >>"$state/wine.log" 2>&1 ||
    die "the test CA could not be added to the machine's Root store, see $state/wine.log"

  wait $cleaner_pid
  echo "testbed: up in $((SECONDS - started)) s: DISPLAY=$DISPLAY, https://localhost:$HB_TEST_PORT/ serves $state/www"
}

write_env() {
  local untrusted_port=""
  [ -f "$state/untrusted_port" ] && untrusted_port=$(tr -dc 0-9 <"$state/untrusted_port")
  cat >"$state/env.sh" <<EOF
export DISPLAY='$DISPLAY' HOME='$HOME' WINEPREFIX='$WINEPREFIX' WINEARCH='$WINEARCH' WINEDEBUG=-all
export WINESERVER='$WINESERVER' WINELOADER='$WINELOADER' WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export HB_TESTBED_UNIX='$state' HB_TESTBED='$(windows_path "$state")'
export HB_TEST_BIN='$(windows_path "$HB_TEST_BIN_UNIX")' HB_TEST_PORT='$HB_TEST_PORT' HB_UNTRUSTED_PORT='$untrusted_port'
HB_XVFB_PID='$1' HB_SERVER_PID='$2'
EOF
}

case $action in
  start) start_testbed ;;
  stop)
    stop_testbed
    echo "testbed: stopped"
    ;;
  *) die "usage: testbed.sh start|stop <state-dir>" ;;
esac
