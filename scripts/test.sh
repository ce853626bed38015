#!/bin/bash
# Builds the setup and runs every test under Wine. The exit code is ctest's.
#
# The shipped setup is a 32-bit program, and the tests run it under 32-bit
# Wine. Where the kernel cannot run 32-bit programs (no IA-32 emulation),
# the 32-bit setup is still built, and the tests run a 64-bit build of the
# same sources under 64-bit Wine instead.
# HOLLOWBRANCH_TEST_PORT in the environment moves the test server's port.
set -u
cd "$(dirname "$0")/.." || exit 1
port=${HOLLOWBRANCH_TEST_PORT:-47400}

bash scripts/deps.sh || exit 1

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  cmake --preset mingw-x86 -DHOLLOWBRANCH_BUILD_TESTS=ON -DHOLLOWBRANCH_TEST_PORT="$port" &&
    cmake --build --preset mingw-x86 -j2 || exit 1
  ctest --preset mingw-x86
  exit $?
fi

echo "test: this kernel runs no 32-bit programs; building the 32-bit setup, testing a 64-bit build under 64-bit Wine"
cmake --preset mingw-x86 -DHOLLOWBRANCH_BUILD_TESTS=OFF &&
  cmake --build --preset mingw-x86 -j2 || exit 1
python3 tests/product/check_product_exe.py build/mingw-x86/hollowbranch-setup.exe res/hollowbranch-setup.manifest \
  --machine i386 || exit 1
cmake --preset mingw-x64 -DHOLLOWBRANCH_TEST_PORT="$port" &&
  cmake --build --preset mingw-x64 -j2 || exit 1
ctest --preset mingw-x64
