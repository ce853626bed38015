#!/bin/bash
# Installs what building and testing the setup needs on Debian 12, as root and
# without a terminal. Does nothing (quickly) when everything is there.
set -eu

packages=(
  cmake
  g++-mingw-w64-i686
  g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix  # the 64-bit test build, for kernels without 32-bit support
  googletest                  # sources in /usr/src/googletest
  wine
  wine32:i386
  wine64
  xvfb
  x11-utils
  openssl
  python3
  imagemagick
  nginx                       # serves the sample release for the run command
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "deps: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "deps: missing ${missing[*]}; run scripts/deps.sh as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "deps: adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
fi
echo "deps: installing ${missing[*]}"
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
echo "deps: done"
