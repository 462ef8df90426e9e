#!/usr/bin/env bash
# Runs the demo launcher under Wine and shows what happened.
set -euo pipefail
WIN_BUILD="$1"
echo "== running the packed stand-in launcher under Wine"
set +e
/usr/lib/wine/wine64 "$WIN_BUILD/tests/attached_dump.exe"
status=$?
set -e
echo "== exit status: $status"
exit "$status"
