#!/bin/bash
# Measures the setup against the floor the machine sets, side by side in one
# run, and writes the table to bench/results.md.
#
#   bash bench/run.sh [--runs N] [--quick] [--port P] [--out FILE]
#
# It builds what it needs (build/bench), starts its own Xvfb display, a fresh
# Wine prefix with HOME of its own (build/bench/bed), and nginx serving the
# generated packages over HTTPS on 127.0.0.1:P (default 47448), then runs
# every measurement N times (default 3; start-up 2N) with its baseline
# interleaved. --quick uses small sizes and writes build/bench/results-quick.md
# unless --out is given. Everything it starts is stopped at the end, also
# after a failure or Ctrl+C.
#
# For looking into one figure: HB_BENCH_ONLY=wait,removal (parts of
# bench/bench.py) prints those figures instead of writing the table;
# HB_BENCH_SHELL='command' runs a command in the started bed instead.
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)

runs=3
quick=""
port=${HB_BENCH_PORT:-47448}
out=""
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --quick) quick=--quick; shift ;;
    --port) port=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: bash bench/run.sh [--runs N] [--quick] [--port P] [--out FILE]" >&2; exit 2 ;;
  esac
done
[[ $runs =~ ^[1-9][0-9]?$ ]] || { echo "bench: --runs takes 1..99" >&2; exit 2; }
if [ -z "$out" ]; then
  if [ -n "$quick" ]; then out=$root/build/bench/results-quick.md; else out=$root/bench/results.md; fi
fi

build=$root/build/bench
bed=$build/bed
# Nothing of a run goes into the real home directory, not even from the build.
mkdir -p "$build/home" || exit 1
export HOME=$build/home
loader=/usr/lib/wine/wine64
started=$SECONDS
say() { echo "bench [$((SECONDS - started)) s]: $*"; }
die() { echo "bench: $*" >&2; exit 1; }

# ------------------------------------------------------------------ deps
if ! bash scripts/deps.sh; then die "scripts/deps.sh failed"; fi
missing=()
for tool in nginx curl; do command -v $tool >/dev/null || missing+=("$tool"); done
if [ ${#missing[@]} -gt 0 ]; then
  [ "$(id -u)" -eq 0 ] || die "missing ${missing[*]}; run as root to install them"
  say "installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" || die "apt-get failed"
fi
"$loader" --version >/dev/null 2>&1 || die "$loader does not run here"

# ----------------------------------------------------------------- build
# The 64-bit programs are what runs here; the 32-bit setup is built only to
# weigh it.
# Two tiny programs linked like the 32-bit setup, to tell what its size is made of.
size_reference() {
  i686-w64-mingw32-g++-posix -O3 -s -static -static-libgcc -static-libstdc++ -mwindows \
    "bench/src/size_reference_$1.cpp" -o "$build/x86/size-reference/$1.exe"
}
say "building (build/bench/x64, build/bench/x86)"
{
  cmake -S bench -B "$build/x64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DHB_BENCH_PORT="$port" &&
    cmake --build "$build/x64" -j2 &&
    cmake -S . -B "$build/x86" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DHOLLOWBRANCH_BUILD_TESTS=OFF &&
    cmake --build "$build/x86" -j2 --target hollowbranch-setup &&
    mkdir -p "$build/x86/size-reference" &&
    size_reference plain && size_reference streams
} >"$build.log" 2>&1 || { tail -n 30 "$build.log" >&2; die "the build failed, see $build.log"; }

# ------------------------------------------------------------------- bed
xvfb_pid=""
hold_pid=""
bench_pid=""
wineserver=""

pid_is() {
  [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q -- "$2"
}

cleanup() {
  trap - EXIT INT TERM
  [ -n "$bench_pid" ] && pid_is "$bench_pid" bench.py && kill "$bench_pid" 2>/dev/null && wait "$bench_pid" 2>/dev/null
  [ -n "$hold_pid" ] && pid_is "$hold_pid" hb-bench && kill "$hold_pid" 2>/dev/null
  if [ -n "$wineserver" ]; then
    WINEPREFIX="$bed/prefix" "$wineserver" -k >/dev/null 2>&1
    WINEPREFIX="$bed/prefix" timeout 20 "$wineserver" -w >/dev/null 2>&1
  fi
  bash server/update-server.sh stop "$bed/server" >/dev/null 2>&1
  if pid_is "$xvfb_pid" Xvfb; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'echo "bench: interrupted" >&2; exit 130' INT TERM

for s in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver; do
  if [ -x "$s" ] && "$s" --version >/dev/null 2>&1; then wineserver=$s; break; fi
done
[ -n "$wineserver" ] || die "no working wineserver"

# What an earlier run left behind goes first: its wineserver, then the files.
if [ -d "$bed/prefix" ]; then
  WINEPREFIX="$bed/prefix" "$wineserver" -k >/dev/null 2>&1
  WINEPREFIX="$bed/prefix" timeout 20 "$wineserver" -w >/dev/null 2>&1
fi
bash server/update-server.sh stop "$bed/server" >/dev/null 2>&1
rm -rf "$bed"
mkdir -p "$bed/prefix" "$bed/home" "$bed/www" "$bed/work" || die "cannot make $bed"

export HOME=$bed/home WINEPREFIX=$bed/prefix WINEARCH=win64 WINEDEBUG=-all
export WINELOADER=$loader WINESERVER=$wineserver WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset WINEDLLPATH DISPLAY

Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp -noreset 9>"$bed/display" </dev/null >"$bed/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 100); do
  display=$(tr -dc 0-9 <"$bed/display")
  [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$display" ] || die "Xvfb did not start, see $bed/xvfb.log"
export DISPLAY=:$display

say "making the Wine prefix"
"$wineserver" -p </dev/null >>"$bed/wine.log" 2>&1 || die "wineserver -p failed"
WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d" timeout 180 "$loader" wineboot -i </dev/null \
  >>"$bed/wine.log" 2>&1 || die "wineboot failed, see $bed/wine.log"

python3 bench/bench.py trees --bed "$bed" --bin "$build/x64/bin" --port "$port" $quick ||
  die "could not generate the served trees"
say "starting nginx on 127.0.0.1:$port"
bash server/update-server.sh start "$bed/server" "$port" "$bed/www" || die "nginx did not start"

winpath() { printf 'Z:%s' "${1//\//\\}"; }
# Keeps Wine's desktop and services up between the programs measured.
"$loader" "$build/x64/bin/hb-bench.exe" hold </dev/null >>"$bed/wine.log" 2>&1 &
hold_pid=$!
noop=$(winpath "$build/x64/bin/hb-bench-noop.exe")
{
  printf 'REGEDIT4\r\n\r\n'
  # Xvfb has no window manager: unmanaged windows, or hiding one stalls.
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n\r\n'
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
  # The shortcut script is handed to a program that does nothing.
  printf '[HKEY_CLASSES_ROOT\\.vbs]\r\n@="VBSFile"\r\n\r\n'
  printf '[HKEY_CLASSES_ROOT\\VBSFile\\shell\\open\\command]\r\n@="\\"%s\\" \\"%%1\\""\r\n\r\n' "${noop//\\/\\\\}"
} >"$bed/bench.reg"
"$loader" reg import "$(winpath "$bed/bench.reg")" </dev/null >>"$bed/wine.log" 2>&1 || die "reg import failed"
"$loader" "$build/x64/bin/hb-bench-trust-ca.exe" "$(winpath "$bed/server/certs/ca.der")" </dev/null \
  >>"$bed/wine.log" 2>&1 || die "the server's CA could not be trusted in the prefix"

if [ -n "${HB_BENCH_SHELL:-}" ]; then
  # For looking into one thing by hand: a command in the started bed.
  bash -c "$HB_BENCH_SHELL"
  exit $?
fi

say "measuring ($runs runs each)"
python3 bench/bench.py measure --bed "$bed" --bin "$build/x64/bin" --port "$port" --runs "$runs" $quick \
  --setup "$build/x64/hollowbranch-setup.exe" --setup32 "$build/x86/hollowbranch-setup.exe" \
  --size-reference "$build/x86/size-reference" --cacert "$bed/server/certs/ca.pem" --wineserver "$wineserver" --display "$DISPLAY" --out "$out" \
  ${HB_BENCH_ONLY:+--only "$HB_BENCH_ONLY"} &
bench_pid=$!
wait "$bench_pid"
status=$?
bench_pid=""
[ $status -eq 0 ] || die "the measurements failed (exit $status)"
say "done: $out"
