#!/usr/bin/env bash
# The benchmark behind the README's numbers. Called by ./run bench with the
# build folders; prints one table. Every limit is measured in the same run,
# so the ratios mean something on a noisy machine.
set -euo pipefail
ROOT="$1" WIN_BUILD="$2" HOST_BUILD="$3" OUT="$4"
RUNS="${BENCH_RUNS:-11}"
WINE=/usr/lib/wine/wine64
PACKER="$HOST_BUILD/packer"
DRIVER="$WIN_BUILD/bench/bench_driver.exe"
APP="$WIN_BUILD/bench/bench_app.dll"
PROGRAM="$WIN_BUILD/bench/bench_program.exe"
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
  # A new application library makes new payloads: app.dll carries it.
  if [ ! -f "$dir/list" ] || [ "$APP" -nt "$dir/list" ]; then
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

# nsis NAME COMPRESSION PAYLOAD_DIR -> prints seconds; leaves NAME.exe: a
# peer self-extractor of the same payload. It unpacks into a fresh folder of
# its own in %TEMP%, runs the application program there with the same
# arguments, removes the folder and ends with the program's exit code.
nsis() {
  local name="$1" compression="$2" dir="$3"
  local script="$OUT/$name.nsi"
  {
    echo 'Unicode true'
    echo 'Target amd64-unicode'
    if [ "$compression" = none ]; then echo 'SetCompress off'; else echo "SetCompressor /FINAL $compression"; fi
    echo "OutFile \"$OUT/$name.exe\""
    echo 'Name "bench"'
    echo 'SilentInstall silent'
    echo 'RequestExecutionLevel user'
    echo '!include FileFunc.nsh'
    echo 'Section'
    echo '  ${GetParameters} $2'
    echo '  GetTempFileName $0'
    echo '  Delete $0'
    echo '  SetOutPath $0'
    echo "  File \"/oname=app.exe\" \"$PROGRAM\""
    echo "  File \"/oname=app.dll\" \"$dir/app.dll\""
    echo "  File /r \"$dir/tree/*\""
    echo '  ClearErrors'
    echo "  ExecWait '\"\$0\\app.exe\" \$2' \$1"
    # A program that did not start leaves no exit code: status 3 says so.
    echo '  IfErrors 0 +2'
    echo '  StrCpy $1 3'
    echo '  SetOutPath $TEMP'
    echo '  RMDir /r $0'
    echo '  SetErrorLevel $1'
    echo 'SectionEnd'
  } > "$script"
  local start; start="$(now)"
  makensis -V1 "$script" >&2
  echo "$(now) - $start" | bc
}

# launches NAME=FILES... : every program in turn, RUNS rounds, after a round
# that checks each; prints the driver's lines
launches() {
  local subjects=() spec
  for spec in "$@"; do
    local files="${spec##*=}" name="${spec%=*}"
    subjects+=("$(winpath "$OUT/$name")=$files")
  done
  "$WINE" "$DRIVER" run "$RUNS" "$(winpath "$OUT")" "${subjects[@]}" | tr -d '\r'
}

# stats NAME < driver lines -> "median_total min_total median_reached min_reached private"
stats() {
  local lines total reached
  lines="$(grep "^run $1 ")"
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

# The peers: the same payload in self-extractors made with makensis.
peers="nsis-zlib nsis-lzma nsis-none"
declare -A peer_pack_s peer_size
for peer in $peers; do
  peer_pack_s[$peer]="$(nsis "$peer" "${peer#nsis-}" "$one_x")"
  peer_size[$peer]="$(stat -c %s "$OUT/$peer.exe")"
done
cp "$PROGRAM" "$OUT/bare.exe"

# One interleaved series for our launchers, the peers and the floor (each
# launch's line is kept in series.txt). The peers' application is a program
# beside app.dll, so it sees one file more.
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
series="$(launches default.exe="$files" library.exe=1 wide.exe="$files" narrow.exe=1 \
  nsis-zlib.exe=$((files + 1)) nsis-lzma.exe=$((files + 1)) nsis-none.exe=$((files + 1)) \
  bare.exe=relay | tee "$OUT/series.txt")"
read -r d_total d_min d_reached d_reached_min d_private <<<"$(stats default.exe <<<"$series")"
read -r l_total l_min l_reached l_reached_min l_private <<<"$(stats library.exe <<<"$series")"
read -r w_total w_min w_reached w_reached_min w_private <<<"$(stats wide.exe <<<"$series")"
read -r n_total n_min n_reached n_reached_min n_private <<<"$(stats narrow.exe <<<"$series")"
read -r b_total b_min b_reached b_reached_min b_private <<<"$(stats bare.exe <<<"$series")"
declare -A peer_total peer_min peer_reached peer_reached_min
for peer in $peers; do
  read -r peer_total[$peer] peer_min[$peer] peer_reached[$peer] peer_reached_min[$peer] _ \
    <<<"$(stats "$peer.exe" <<<"$series")"
done
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
load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

# Bytes and files grow together, and once the files alone: 1x bytes in 4x files.
declare -A sc_total sc_total_min sc_reached sc_reached_min sc_bytes sc_files
scales="0.1/0.1 4/4 1/4"
for entry in $scales; do
  IFS=/ read -r scale file_scale <<<"$entry"
  dir="$(payload "$scale" "$file_scale")"
  pack "scale-$scale-$file_scale" "$dir" >/dev/null
  sc_files[$entry]="$(wc -l < "$dir/list")"
  read -r sc_total[$entry] sc_total_min[$entry] sc_reached[$entry] sc_reached_min[$entry] _ \
    <<<"$(launches "scale-$scale-$file_scale.exe=${sc_files[$entry]}" | stats "scale-$scale-$file_scale.exe")"
  sc_bytes[$entry]="$(du -sb --apparent-size "$dir/app.dll" "$dir/tree" | awk '{s += $1} END {print s}')"
  rm -f "$OUT/scale-$scale-$file_scale.exe"
done
scales="$scales 1/1"
sc_total[1/1]="$d_total" sc_reached[1/1]="$d_reached" sc_bytes[1/1]="$input_bytes" sc_files[1/1]="$files"
sc_total_min[1/1]="$d_min" sc_reached_min[1/1]="$d_reached_min"

ratio() { printf '%.2f' "$(echo "scale=4; $1 / $2" | bc)"; }
ms() { printf '%.0f ms' "$1"; }
# median / min of a figure, in ms
both() { printf '%.0f / %.0f ms' "$1" "$2"; }
# the ratios of two figures' medians and of their minimums
ratios() { echo "$(ratio "$1" "$3"), $(ratio "$2" "$4")"; }

echo
echo "Benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $("$WINE" --version), $(makensis -VERSION)"
echo "Load average (1, 5, 15 min) before the launches: $load_before; after the limits: $load_after"
echo
row "figure" "value"
row "----" "----"
row "payload: files, input bytes" "$files, $(mb "$input_bytes") MB"
failed="$(grep '^fail ' <<<"$series" | sort | uniq -c | awk '{printf "%s%s %s", (NR > 1 ? ", " : ""), $3, $1}' || true)"
row "failed launches in the series (reasons in the log)" "${failed:-none}"
row "decoded record stream (native decoder)" "$(mb "$decoded") MB"
row "pack time, default settings, all cores" "$(printf '%.2f s' "$default_s")"
row "pack time, default settings, 1 thread" "$(printf '%.2f s' "$default_1t_s")"
row "compression only, same stream and settings (zstd)" "$(printf '%.2f s' "$compress_s")"
row "pack time / compression only, all cores" "$(ratio "$default_s" "$compress_s")"
row "executable size and ratio, default" "$(mb "$default_size") MB, $(ratio "$input_bytes" "$default_size"):1"
row "pack time, level 19, all cores" "$(printf '%.1f s' "$strong_s")"
row "pack time, level 19, 1 thread" "$(printf '%.1f s' "$strong_1t_s")"
row "executable size and ratio, level 19" "$(mb "$strong_size") MB, $(ratio "$input_bytes" "$strong_size"):1"
for peer in $peers; do
  row "$peer: pack time, executable size" "$(printf '%.1f s' "${peer_pack_s[$peer]}"), $(mb "${peer_size[$peer]}") MB"
done
row "floor: two bare process starts, median / min ($RUNS runs)" "$(both "$b_reached" "$b_reached_min")"
row "start-up to run_code, library only, median / min" "$(both "$l_reached" "$l_reached_min")"
row "start-up, library only / floor (target <= 1.5)" "$(ratios "$l_reached" "$l_reached_min" "$b_reached" "$b_reached_min")"
row "whole run, library only, median / min" "$(both "$l_total" "$l_min")"
row "to run_code, 1x, median / min" "$(both "$d_reached" "$d_reached_min")"
row "to run_code, 1x / (floor + write limit) (target <= 1.2)" \
    "$(ratios "$d_reached" "$d_reached_min" "($b_reached + $copy_ms)" "($b_reached_min + $copy_ms)")"
row "whole run, 1x, median / min" "$(both "$d_total" "$d_min")"
for peer in $peers; do
  row "$peer: to the application, median / min" "$(both "${peer_reached[$peer]}" "${peer_reached_min[$peer]}")"
  row "$peer: whole run, median / min" "$(both "${peer_total[$peer]}" "${peer_min[$peer]}")"
  row "ours / $peer: to the application" \
      "$(ratios "$d_reached" "$d_reached_min" "${peer_reached[$peer]}" "${peer_reached_min[$peer]}")"
  row "ours / $peer: whole run (target for zlib < 1)" \
      "$(ratios "$d_total" "$d_min" "${peer_total[$peer]}" "${peer_min[$peer]}")"
done
row "unpack phase, 1x (to run_code, less library only)" "$(ms "$unpack_ms")"
row "after run_code, 1x: child's end and tree deletion" "$(ms "$(echo "$d_total - $d_reached" | bc)")"
row "decoder limit: native zstd -d to /dev/null" "$(ms "$decode_ms")"
row "same without checksum (--no-checksum): checksum cost" \
    "$(ms "$unchecked_decode_ms"): $(ms "$(echo "$decode_ms - $unchecked_decode_ms" | bc)")"
row "write limit: plain copy of the tree under Wine" "$(ms "$copy_ms")"
row "unpack / decoder limit" "$(ratio "$unpack_ms" "$decode_ms")"
row "unpack / write limit" "$(ratio "$unpack_ms" "$copy_ms")"
row "unpack / slower limit (target <= 1.5)" "$(ratio "$unpack_ms" "$slower_limit")"
row "child private bytes, smallest window (baseline)" "$(mb "$n_private") MB"
row "child decoder memory, default settings" "$(mb "$(echo "$d_private - $n_private" | bc)") MB"
row "child decoder memory, no content size, 2^27 window" "$(mb "$(echo "$w_private - $n_private" | bc)") MB"
for entry in $scales; do
  row "bytes/files ${entry}x: ${sc_files[$entry]} files, $(mb "${sc_bytes[$entry]}") MB: run / unpack" \
      "$(printf '%.0f / %.0f ms' "${sc_total[$entry]}" "$(echo "${sc_reached[$entry]} - $l_reached" | bc)")"
done
# Where the time goes: the same bytes in more files, and more bytes in the
# same files, each against the other; from the minimums, which a busy
# moment does not move.
more_files="$(echo "${sc_files[1/4]} - ${sc_files[1/1]}" | bc)"
row "unpacking, per file (1/4x less 1/1x, minimums)" \
    "$(printf '%.2f ms' "$(echo "scale=4; (${sc_reached_min[1/4]} - ${sc_reached_min[1/1]}) / $more_files" | bc)")"
row "unpacking, per MB (4/4x less 1/4x, minimums)" \
    "$(printf '%.2f ms' "$(echo "scale=4; (${sc_reached_min[4/4]} - ${sc_reached_min[1/4]}) * 1000000 / (${sc_bytes[4/4]} - ${sc_bytes[1/4]})" | bc)")"
row "after run_code, per file (1/4x less 1/1x, minimums)" \
    "$(printf '%.2f ms' "$(echo "scale=4; (${sc_total_min[1/4]} - ${sc_reached_min[1/4]} - ${sc_total_min[1/1]} + ${sc_reached_min[1/1]}) / $more_files" | bc)")"
