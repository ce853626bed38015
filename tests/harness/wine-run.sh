#!/bin/bash
# Runs one Windows program in the started test bed and returns its exit code.
#   wine-run.sh <state-dir> <program.exe> [args...]
# The program sees HB_TESTBED (the state dir as a Windows path), HB_TEST_BIN
# and HB_TEST_PORT. HB_RUN_TIMEOUT (seconds, default 300) bounds the run.
set -u
[ $# -ge 2 ] || { echo "usage: wine-run.sh <state-dir> <program.exe> [args...]" >&2; exit 2; }
state=$1
shift
if [ ! -f "$state/env.sh" ]; then
  echo "wine-run: the test bed in $state is not started (ctest starts it with the testbed.start test," \
    "or run tests/harness/testbed.sh start $state)" >&2
  exit 2
fi
# shellcheck source=/dev/null
. "$state/env.sh"
[ -f "$1" ] || { echo "wine-run: $1 does not exist" >&2; exit 2; }
timeout -k 10 "${HB_RUN_TIMEOUT:-300}" "$WINELOADER" "$@"
status=$?
[ $status -eq 124 ] && echo "wine-run: $1 did not end within ${HB_RUN_TIMEOUT:-300} s and was stopped" >&2
exit $status
