#!/usr/bin/env bash
# Packs the demo application into one executable, runs it under Wine with a
# few arguments and shows what happened: the pack's summary, the program's
# output, its exit code, and that the unpacked folder is gone afterwards.
#   tools/demo.sh WIN_BUILD HOST_BUILD     (./run demo calls it so)
set -euo pipefail
WIN_BUILD="$1"
HOST_BUILD="$2"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE=/usr/lib/wine/wine64
OUT_DIR="$(dirname "$WIN_BUILD")/demo"
EXE="$OUT_DIR/demo.exe"
EXIT_CODE=7
mkdir -p "$OUT_DIR"

echo "== packing the demo application"
"$HOST_BUILD/packer" pack "$WIN_BUILD/demo/demo_app.dll" "$ROOT/demo/files" \
  -o "$EXE"
"$HOST_BUILD/packer" list "$EXE"

echo
echo "== running: demo.exe hello \"two words\" --exit $EXIT_CODE"
set +e
output="$("$WINE" "$EXE" hello "two words" --exit "$EXIT_CODE" 2>&1)"
status=$?
set -e
output="${output//$'\r'/}"
printf '%s\n' "$output"
echo "== exit status: $status"

verdict=0
[ "$status" = "$EXIT_CODE" ] || { echo "== expected exit status $EXIT_CODE"; verdict=1; }
directory="$(sed -n "s/^unpacked in \(.*\):$/\1/p" <<<"$output" | head -n 1)"
if [ -z "$directory" ]; then
  echo "== the program did not say where it was unpacked"
  verdict=1
else
  unix_directory="$("$WINE" winepath -u "$directory" 2>/dev/null | tr -d '\r')"
  if [ -e "$unix_directory" ]; then
    echo "== the unpacked folder is STILL THERE: $directory"
    verdict=1
  else
    echo "== the unpacked folder is gone: $directory"
  fi
fi
exit "$verdict"
