#!/usr/bin/env bash
# The benchmark behind the README's numbers. Called by ./run bench with the
# build folders; prints one table. Every limit is measured in the same run,
# so the ratios mean something on a noisy machine.
set -euo pipefail
ROOT="$1" WIN_BUILD="$2" HOST_BUILD="$3" OUT="$4"
RUNS="${BENCH_RUNS:-7}"
WINE=/usr/lib/wine/wine64
PACKER="$HOST_BUILD/packer"
DRIVER="$WIN_BUILD/bench/bench_driver.exe"
APP="$WIN_BUILD/bench/bench_app.dll"
mkdir -p "$OUT"

winpath() { local p; p="$(readlink -f "$1")"; printf 'Z:%s' "${p//\//\\}"; }
now() { date +%s.%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
minimum() { sort -n | head -n 1; }
field() { awk -v k="$1" '{for (i = 1; i < NF; i++) if ($i == k) print $(i + 1)}'; }

# payload SCALE [FILE_SCALE] -> directory with app.dll, tree/ and list
payload() {
  local file_scale="${2:-$1}"
  local dir="$OUT/payload-$1-$file_scale"
  if [ ! -f "$dir/list" ]; then
    rm -rf "$dir"
    python3 "$ROOT/bench/make_payload.py" "$dir" "$APP" --scale "$1" --file-scale "$file_scale" > "$dir.list"
    mv "$dir.list" "$dir/list"
  fi
  echo "$dir"
}

# pack NAME PAYLOAD_DIR [packer options...] -> prints seconds; leaves NAME.exe
pack() {
  local name="$1" dir="$2"; shift 2
  local start; start="$(now)"
  local tree=()
  [ -d "$dir/tree" ] && tree=("$dir/tree")
  "$PACKER" pack --quiet "$dir/app.dll" "${tree[@]}" \
    -o "$OUT/$name.exe" "$@" >&2
  echo "$(now) - $start" | bc
}

# block NAME PAYLOAD_DIR [packer options...]: the same block, alone, for the
# native decoder.
block() {
  local name="$1" dir="$2"; shift 2
  local records=(app.dll "$dir/app.dll")
  while read -r path; do
    [ "$path" = app.dll ] && continue
    records+=("${path//\//\\}" "$dir/tree/$path")
  done < "$dir/list"
  "$PACKER" block -o "$OUT/$name.block" "$@" "${records[@]}"
}

# launches EXE -> "median_total min_total median_reached min_reached private"
launches() {
  local lines
  lines="$("$WINE" "$DRIVER" run "$RUNS" "$(winpath "$1")" | tr -d '\r')"
  local total reached
  total="$(field total_ms <<<"$lines")"
  reached="$(field reached_ms <<<"$lines")"
  echo "$(median <<<"$total") $(minimum <<<"$total") $(median <<<"$reached") $(minimum <<<"$reached") $(field private <<<"$lines" | median)"
}

row() { printf '| %-58s | %16s |\n' "$1" "$2"; }
mb() { echo "scale=1; $1 / 1000000" | bc; }

one_x="$(payload 1)"
input_bytes="$(du -sb --apparent-size "$one_x/app.dll" "$one_x/tree" | awk '{s += $1} END {print s}')"
files="$(wc -l < "$one_x/list")"

default_s="$(pack default "$one_x")"
strong_s="$(pack strongest "$one_x" --level 19)"
default_1t_s="$(pack default-1t "$one_x" --threads 1)"
strong_1t_s="$(pack strongest-1t "$one_x" --level 19 --threads 1)"
rm -f "$OUT/default-1t.exe" "$OUT/strongest-1t.exe"
library_only="$OUT/library-only"
mkdir -p "$library_only" && cp "$APP" "$library_only/app.dll"
pack library "$library_only" >/dev/null
pack wide "$one_x" --no-content-size --window-log 27 >/dev/null
pack narrow "$library_only" --window-log 10 >/dev/null
default_size="$(stat -c %s "$OUT/default.exe")"
strong_size="$(stat -c %s "$OUT/strongest.exe")"

read -r d_total d_min d_reached d_reached_min d_private <<<"$(launches "$OUT/default.exe")"
read -r l_total l_min l_reached l_reached_min l_private <<<"$(launches "$OUT/library.exe")"
read -r w_total w_min w_reached w_reached_min w_private <<<"$(launches "$OUT/wide.exe")"
read -r n_total n_min n_reached n_reached_min n_private <<<"$(launches "$OUT/narrow.exe")"
unpack_ms="$(echo "$d_reached - $l_reached" | bc)"

# The decoder's own limit: the same frame through the native decoder, the
# best of five runs; once more without the checksum that a pack stores by
# default, whose verification is the difference.
decode_best_ms() {
  local best="" start ms
  for _ in 1 2 3 4 5; do
    start="$(now)"
    tail -c +4 "$1" | zstd -d -c 2>/dev/null >/dev/null || true
    ms="$(echo "($(now) - $start) * 1000" | bc)"
    if [ -z "$best" ] || [ "$(echo "$ms < $best" | bc)" = 1 ]; then best="$ms"; fi
  done
  echo "$best"
}
block default "$one_x"
block unchecked "$one_x" --no-checksum
decoded="$(tail -c +4 "$OUT/default.block" | zstd -d -c 2>/dev/null | wc -c || true)"
decode_ms="$(decode_best_ms "$OUT/default.block")"
unchecked_decode_ms="$(decode_best_ms "$OUT/unchecked.block")"
# The packer's own overhead: the same record stream through the zstd tool
# (the same library version) at pack's defaults, level 9, a 2^23 window and
# every core, against the whole pack.
stream="$OUT/default.stream"
tail -c +4 "$OUT/default.block" | zstd -d -c 2>/dev/null >"$stream" || true
compress_start="$(now)"
zstd -q -9 -T"$(nproc)" --zstd=wlog=23 -c "$stream" >/dev/null
compress_s="$(echo "$(now) - $compress_start" | bc)"
rm -f "$stream"
# The write limit: a plain copy of the tree into Wine's temporary directory.
temp_copy="$OUT/copy-target"
rm -rf "$temp_copy"
copy_ms="$("$WINE" "$DRIVER" copy "$(winpath "$one_x")" "$(winpath "$temp_copy")" | tr -d '\r' | field copy_ms)"
rm -rf "$temp_copy"
slower_limit="$(echo "if ($decode_ms > $copy_ms) $decode_ms else $copy_ms" | bc)"

scaling=""
# Bytes and files grow together, and once the files alone: 1x bytes in 4x files.
for scales in 0.1:0.1 4:4 1:4; do
  IFS=: read -r scale file_scale <<<"$scales"
  dir="$(payload "$scale" "$file_scale")"
  pack "scale-$scale-$file_scale" "$dir" >/dev/null
  read -r s_total _ s_reached _ _ <<<"$(launches "$OUT/scale-$scale-$file_scale.exe")"
  scaling="$scaling$scale/$file_scale:$s_total:$s_reached:$(du -sb --apparent-size "$dir/app.dll" "$dir/tree" | awk '{s += $1} END {print s}'):$(wc -l < "$dir/list") "
  rm -f "$OUT/scale-$scale-$file_scale.exe"
done

echo
echo "Benchmark, $(date -u +%Y-%m-%d), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $("$WINE" --version)"
echo
row "figure" "value"
row "----" "----"
row "payload: files, input bytes" "$files, $(mb "$input_bytes") MB"
row "decoded record stream (native decoder)" "$(mb "$decoded") MB"
row "pack time, default settings, all cores" "$(printf '%.2f s' "$default_s")"
row "pack time, default settings, 1 thread" "$(printf '%.2f s' "$default_1t_s")"
row "compression only, same stream and settings (zstd)" "$(printf '%.2f s' "$compress_s")"
row "pack time / compression only, all cores" "$(echo "scale=2; $default_s / $compress_s" | bc)"
row "executable size and ratio, default" "$(mb "$default_size") MB, $(echo "scale=2; $input_bytes / $default_size" | bc):1"
row "pack time, level 19, all cores" "$(printf '%.1f s' "$strong_s")"
row "pack time, level 19, 1 thread" "$(printf '%.1f s' "$strong_1t_s")"
row "executable size and ratio, level 19" "$(mb "$strong_size") MB, $(echo "scale=2; $input_bytes / $strong_size" | bc):1"
row "whole run, 1x, median / min ($RUNS runs)" "$(printf '%.0f / %.0f ms' "$d_total" "$d_min")"
row "start-up to run_code, library only, median" "$(printf '%.0f ms' "$l_reached")"
row "whole run, library only, median / min" "$(printf '%.0f / %.0f ms' "$l_total" "$l_min")"
row "unpack phase, 1x (to run_code, less library only)" "$(printf '%.0f ms' "$unpack_ms")"
row "after run_code, 1x: child's end and tree deletion" "$(printf '%.0f ms' "$(echo "$d_total - $d_reached" | bc)")"
row "decoder limit: native zstd -d to /dev/null" "$(printf '%.0f ms' "$decode_ms")"
row "same without checksum (--no-checksum): checksum cost" \
    "$(printf '%.0f ms: %.0f ms' "$unchecked_decode_ms" "$(echo "$decode_ms - $unchecked_decode_ms" | bc)")"
row "write limit: plain copy of the tree under Wine" "$(printf '%.0f ms' "$copy_ms")"
row "unpack / decoder limit" "$(echo "scale=2; $unpack_ms / $decode_ms" | bc)"
row "unpack / write limit" "$(echo "scale=2; $unpack_ms / $copy_ms" | bc)"
row "unpack / slower limit (target <= 1.5)" "$(echo "scale=2; $unpack_ms / $slower_limit" | bc)"
row "child private bytes, smallest window (baseline)" "$(mb "$n_private") MB"
row "child decoder memory, default settings" "$(mb "$(echo "$d_private - $n_private" | bc)") MB"
row "child decoder memory, no content size, 2^27 window" "$(mb "$(echo "$w_private - $n_private" | bc)") MB"
scaling="${scaling}1/1:$d_total:$d_reached:$input_bytes:$files"
for entry in $scaling; do
  IFS=: read -r scale total reached bytes count <<<"$entry"
  row "bytes/files ${scale}x: $count files, $(mb "$bytes") MB: run / unpack" \
      "$(printf '%.0f / %.0f ms' "$total" "$(echo "$reached - $l_reached" | bc)")"
done
