#!/bin/bash
# Builds the setup and runs it under Wine against a local update server.
#
#   bash scripts/run.sh [--auto] [--port N]
#
# It publishes the sample release with hollowbranch-publish, serves the tree
# with nginx over HTTPS on 127.0.0.1:<port> (a CA and certificate of the run's
# own, trusted only inside the run's Wine prefix), and runs a build of the
# setup whose update host is localhost:<port>. Everything it makes lies in
# build/run/: the build tree, the prefix, HOME, the served tree, the server's
# logs and the screenshots.
#
# With a usable DISPLAY (and no --auto) the setup opens there for a person.
# Otherwise it starts Xvfb and drives the whole road through the setup's
# windows with hollowbranch-drive-setup, saving a picture of each screen.
# The port is fixed (default 47380, or HOLLOWBRANCH_RUN_PORT): a busy port
# ends the run before anything is built.
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
run_dir=$root/build/run
port=${HOLLOWBRANCH_RUN_PORT:-47380}
auto=""

say() { echo "[run] $*"; }
die() {
  echo "[run] FAILED: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case $1 in
    --auto) auto=1 ;;
    --port)
      [ $# -ge 2 ] || die "--port needs a number"
      port=$2
      shift
      ;;
    -h | --help)
      sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'
      exit 0
      ;;
    *) die "unknown argument '$1' (usage: scripts/run.sh [--auto] [--port N])" ;;
  esac
  shift
done
[[ $port =~ ^[0-9]+$ ]] && [ "$port" -ge 1024 ] && [ "$port" -le 65535 ] || die "the port must be a number from 1024 to 65535, not '$port'"

# ------------------------------------------------------------ what runs here

bash scripts/deps.sh || die "scripts/deps.sh could not install what the build needs"
if ! command -v nginx >/dev/null; then
  [ "$(id -u)" -eq 0 ] || die "nginx is missing; run this as root to install it"
  say "installing nginx"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends nginx >/dev/null ||
    die "apt-get install nginx failed"
fi

bash server/update-server.sh port-free "$port" ||
  die "port $port on 127.0.0.1 is busy: choose another with --port N or HOLLOWBRANCH_RUN_PORT=N"

# A kernel without 32-bit support runs the 64-bit build of the same sources.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine_arch=win32 loader=/usr/lib/wine/wine toolchain=cmake/mingw-i686.cmake width=32-bit
else
  wine_arch=win64 loader=/usr/lib/wine/wine64 toolchain=cmake/mingw-x86_64.cmake width=64-bit
fi
"$loader" --version >/dev/null 2>&1 || die "$loader does not run on this machine"

# The person's display, while HOME is still theirs (X authorisation lies there).
export XAUTHORITY=${XAUTHORITY:-${HOME:-/root}/.Xauthority}
if [ -z "$auto" ]; then
  if [ -z "${DISPLAY:-}" ]; then
    auto=1 why="DISPLAY is not set"
  elif ! xdpyinfo >/dev/null 2>&1; then
    auto=1 why="the display $DISPLAY does not answer"
  fi
  [ -n "$auto" ] && say "$why: the setup runs on Xvfb and is driven automatically"
fi

mkdir -p "$run_dir/logs" || die "cannot make $run_dir"
logs=$run_dir/logs

# ------------------------------------------------------------ cleaning up

xvfb_pid="" run_prefix="" server_started=""
cleanup() {
  local status=$? stopped=()
  trap - EXIT INT TERM
  if [ -n "$server_started" ]; then
    bash server/update-server.sh stop "$run_dir/server" >/dev/null 2>&1
    stopped+=(nginx)
  fi
  # Only the run's own prefix: the caller's WINEPREFIX is never touched.
  if [ -n "$run_prefix" ] && [ -d "$run_prefix" ]; then
    WINEPREFIX=$run_prefix /usr/bin/wineserver -k >/dev/null 2>&1
    stopped+=(Wine)
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    stopped+=(Xvfb)
  fi
  [ ${#stopped[@]} -gt 0 ] && say "stopped $(printf '%s, ' "${stopped[@]}" | sed 's/, $//')"
  exit "$status"
}
trap cleanup EXIT
trap 'echo; say "interrupted"; exit 130' INT TERM

# ------------------------------------------------------------ building

say "building the shipped 32-bit setup (preset mingw-x86) -> build/mingw-x86/hollowbranch-setup.exe"
{ cmake --preset mingw-x86 && cmake --build --preset mingw-x86 -j2 --target hollowbranch-setup; } >"$logs/build-mingw-x86.log" 2>&1 ||
  { tail -n 20 "$logs/build-mingw-x86.log" >&2; die "the 32-bit build failed, see $logs/build-mingw-x86.log"; }

# A tree configured for the other width is made anew.
if [ -f "$run_dir/CMakeCache.txt" ] &&
  ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$root/$toolchain" "$run_dir/CMakeCache.txt"; then
  rm -rf "$run_dir/CMakeCache.txt" "$run_dir/CMakeFiles"
fi
say "building the $width setup for this machine with update host localhost:$port -> build/run/"
{
  cmake -S . -B "$run_dir" -DCMAKE_TOOLCHAIN_FILE="$root/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DHOLLOWBRANCH_UPDATE_HOST="localhost:$port" -DHOLLOWBRANCH_BUILD_TESTS=ON &&
    cmake --build "$run_dir" -j2 --target hollowbranch-setup hollowbranch-publish hollowbranch-sample-product \
      hollowbranch-sample-installer hb-trust-ca hollowbranch-drive-setup hollowbranch-vbs-open
} >"$logs/build-run.log" 2>&1 || { tail -n 20 "$logs/build-run.log" >&2; die "the build failed, see $logs/build-run.log"; }

# ------------------------------------------------------------ Wine

windows_path() { # /a/b -> Z:\a\b
  printf 'Z:%s' "${1//\//\\}"
}

run_prefix=$run_dir/prefix
export HOME=$run_dir/home WINEPREFIX=$run_prefix WINEARCH=$wine_arch WINELOADER=$loader WINEDEBUG=-all
export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset WINEDLLPATH WINESERVER
mkdir -p "$HOME" || die "cannot make $HOME"

if [ -n "$auto" ]; then
  : >"$logs/xvfb.log"
  Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$run_dir/xvfb.display" \
    </dev/null >>"$logs/xvfb.log" 2>&1 &
  xvfb_pid=$!
  display=""
  for _ in $(seq 100); do
    display=$(tr -dc 0-9 <"$run_dir/xvfb.display")
    [ -n "$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$display" ] || die "Xvfb did not start, see $logs/xvfb.log"
  export DISPLAY=:$display
  say "started Xvfb on $DISPLAY"
fi

# The prefix is kept between runs (an installation made by hand stays for
# the next run to find); a prefix of the other width is made anew.
marker=$WINEPREFIX/.hollowbranch-run
if [ ! -f "$marker" ] || [ "$(cat "$marker")" != "$wine_arch" ]; then
  say "making the Wine prefix build/run/prefix ($wine_arch)"
  rm -rf "$WINEPREFIX"
  # No offer to install Mono or Gecko: the setup needs neither.
  WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d" timeout --foreground 180 "$loader" wineboot -i \
    </dev/null >"$logs/wineboot.log" 2>&1 || die "wineboot failed, see $logs/wineboot.log"
  echo "$wine_arch" >"$marker"
fi
/usr/bin/wineserver -p </dev/null >>"$logs/wine.log" 2>&1

# --foreground keeps Wine in this script's process group, where Ctrl+C
# reaches it; by default timeout would shield it in a group of its own.
wine_run() { # wine_run <seconds> <program> [args...]
  local seconds=$1
  shift
  timeout --foreground -k 10 "$seconds" "$loader" "$@"
}

# Xvfb has no window manager: unmanaged windows there, managed ones on a
# person's desktop. The .vbs "open" command makes the desktop shortcut work
# under Wine's script host.
managed=Y
[ -n "$auto" ] && managed=N
vbs_open=$(windows_path "$run_dir/demo/hollowbranch-vbs-open.exe")
vbs_open=${vbs_open//\\/\\\\}
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n[HKEY_CLASSES_ROOT\\.vbs]\r\n@="VBSFile"\r\n\r\n[HKEY_CLASSES_ROOT\\VBSFile\\shell\\open\\command]\r\n@="\\"%s\\" \\"%%1\\""\r\n' \
  "$managed" "$vbs_open" >"$run_dir/run.reg"
wine_run 60 reg import "$(windows_path "$run_dir/run.reg")" </dev/null >>"$logs/wine.log" 2>&1 ||
  die "reg import of $run_dir/run.reg failed, see $logs/wine.log"

# ------------------------------------------------------------ the release

www=$run_dir/www
say "publishing the sample release to build/run/www for https://localhost:$port/"
rm -rf "$www"
wine_run 120 "$run_dir/hollowbranch-publish.exe" publish "$(windows_path "$run_dir/sample-release")" \
  "$(windows_path "$www")" "https://localhost:$port/" </dev/null >"$logs/publish.log" 2>&1 ||
  { cat "$logs/publish.log" >&2; die "publishing the sample release failed"; }
sed 's/^/[run]   /' "$logs/publish.log"
say "checking the published tree the way the setup will read it"
wine_run 120 "$run_dir/hollowbranch-publish.exe" check "$(windows_path "$www")" </dev/null >"$logs/check.log" 2>&1 ||
  { cat "$logs/check.log" >&2; die "the published tree has problems"; }
sed 's/^/[run]   /' "$logs/check.log"

say "starting nginx on https://localhost:$port/ (config and logs in build/run/server)"
server_started=1
bash server/update-server.sh start "$run_dir/server" "$port" "$www" || die "the update server did not start"
wine_run 60 "$run_dir/tests/bin/hb-trust-ca.exe" "$(windows_path "$run_dir/server/certs/ca.der")" \
  </dev/null >>"$logs/wine.log" 2>&1 || die "the run's CA could not be trusted in the prefix, see $logs/wine.log"

# ------------------------------------------------------------ the setup

drive_c=$WINEPREFIX/drive_c
install_root=$drive_c/Programme/Hollowbranch
data_root=$drive_c/ProgramData/Hollowbranch
shortcut=$HOME/Hollowbranch.lnk # the prefix's Desktop is HOME

relative() { printf '%s' "${1#"$root"/}"; }

list_installed() {
  local tree file
  for tree in "$install_root" "$data_root"; do
    [ -d "$tree" ] || continue
    find "$tree" -type f | sort | while read -r file; do
      say "    $(relative "$file") ($(stat -c %s "$file") bytes)"
    done
  done
}

# The product started from this run's prefix (not one of another prefix).
product_running() {
  local proc
  for proc in /proc/[0-9]*; do
    { tr '\0' '\n' <"$proc/cmdline"; } 2>/dev/null | grep -q 'Hollowbranch\.exe$' &&
      { tr '\0' '\n' <"$proc/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

run_for_a_person() {
  say "the setup opens on $DISPLAY: install, repair or uninstall Hollowbranch; this waits until the setup ends"
  wine_run 86400 "$run_dir/hollowbranch-setup.exe" </dev/null >>"$logs/wine.log" 2>&1
  say "the setup has ended"
  say "summary:"
  if [ -f "$data_root/Options/updates.ini" ] && [ -d "$install_root" ]; then
    say "  Hollowbranch is installed in the prefix (drive C: is $(relative "$drive_c")):"
    list_installed
  else
    say "  Hollowbranch is not installed (the setup was cancelled, or it uninstalled)"
  fi
  [ -f "$shortcut" ] && say "  desktop shortcut: $(relative "$shortcut")"
  say "  the shipped 32-bit setup: build/mingw-x86/hollowbranch-setup.exe"
  say "  run this command again to see the maintenance screen of an installation"
  if product_running; then
    say "Hollowbranch is running: close its window to end (Ctrl+C ends everything)"
    while product_running; do sleep 1; done
  fi
}

run_automatically() {
  local shots=$run_dir/screenshots status
  if [ -e "$install_root" ] || [ -e "$data_root" ]; then
    say "removing the installation an earlier run left in the prefix"
  fi
  rm -rf "$install_root" "$data_root" "$drive_c"/hollowbranch_uninstall_*_temp_name "$shortcut"
  rm -rf "$shots" && mkdir -p "$shots"

  say "driving the setup through its windows (hollowbranch-drive-setup)"
  wine_run 600 "$run_dir/demo/hollowbranch-drive-setup.exe" "$(windows_path "$run_dir/hollowbranch-setup.exe")" \
    "$(windows_path "$www")" "$(windows_path "$shots")" English </dev/null 2>>"$logs/wine.log" | tee "$logs/drive.log"
  status=${PIPESTATUS[0]}

  say "summary:"
  say "  setup run: build/run/hollowbranch-setup.exe ($width, update host localhost:$port);" \
    "shipped 32-bit setup: build/mingw-x86/hollowbranch-setup.exe"
  say "  served: build/run/www by nginx (build/run/server/access.log lists every request)"
  say "  installed (drive C: is $(relative "$drive_c")), then removed by the uninstall:"
  sed -n '/^\[run\] checking the installed files/,/^\[run\] answering Yes/s/^\[run\]   \(C:.*\)/[run]     \1/p' "$logs/drive.log"
  [ -f "$shortcut" ] && say "  desktop shortcut (stays after the uninstall): $(relative "$shortcut")"
  say "  pictures of each screen in build/run/screenshots/:"
  for shot in "$shots"/*.png; do
    [ -f "$shot" ] && say "    ${shot##*/}"
  done
  [ "$status" -eq 0 ] || die "the road stopped at the step above$([ -f "$shots/failure.png" ] && echo "; the screen then: build/run/screenshots/failure.png")"
  say "done: installed, started, closed and uninstalled through the setup's windows"
}

if [ -n "$auto" ]; then
  run_automatically
else
  run_for_a_person
fi
