#!/usr/bin/env bash
# The command-line contract: outputs, exit codes (0 written, 1 cannot be thumbnailed, 2 usage or I/O),
# one line per failing input on stderr.
set -u
tool=$1
root=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check NAME EXPECTED_EXIT ACTUAL_EXIT
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1: exit $3, expected $2"
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}
png_size() {  # prints WIDTHxHEIGHT of a PNG
  od -An -tu1 -j16 -N8 "$1" | awk '{print ($1*16777216+$2*65536+$3*256+$4) "x" ($5*16777216+$6*65536+$7*256+$8)}'
}

sample=$root/samples/dds-im-dxt1-mips-photo-256x64.dds
"$tool" --size 96 "$sample" "$work/one.png"; check "single thumbnail" 0 $?
[ "$(png_size "$work/one.png")" = "96x24" ] || { echo "FAIL: thumbnail size $(png_size "$work/one.png")"; failures=$((failures + 1)); }
"$tool" --full "$sample" "$work/full.png"; check "full size" 0 $?
[ "$(png_size "$work/full.png")" = "256x64" ] || { echo "FAIL: full size $(png_size "$work/full.png")"; failures=$((failures + 1)); }
(cd "$work" && "$tool" "$sample"); check "default output name" 0 $?
[ -f "$work/dds-im-dxt1-mips-photo-256x64.dds.png" ] || { echo "FAIL: default output missing"; failures=$((failures + 1)); }
[ "$(png_size "$work/dds-im-dxt1-mips-photo-256x64.dds.png")" = "256x64" ] || { echo "FAIL: default size"; failures=$((failures + 1)); }

"$tool" "$root/samples/pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr" "$work/no.png" 2> "$work/err"; check "refused file" 1 $?
grep -q "^mirelth-thumb: .*pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr: unsupported: PVR pixel format 5 (PVRTC-II 4 bpp)" "$work/err" || { echo "FAIL: reason line: $(cat "$work/err")"; failures=$((failures + 1)); }
[ ! -e "$work/no.png" ] || { echo "FAIL: output written for a refused file"; failures=$((failures + 1)); }
head -c 150 "$sample" > "$work/short.dds"
"$tool" "$work/short.dds" "$work/short.png" 2> "$work/err"; check "truncated file" 1 $?
grep -q "truncated: the file has 150 bytes, level 0 needs 8320" "$work/err" || { echo "FAIL: truncation line: $(cat "$work/err")"; failures=$((failures + 1)); }
"$tool" "$work/missing.dds" "$work/x.png" 2> "$work/err"; check "missing input" 2 $?
grep -q "missing.dds: cannot open" "$work/err" || { echo "FAIL: missing line: $(cat "$work/err")"; failures=$((failures + 1)); }
"$tool" "$sample" "$work/nodir/x.png" 2>/dev/null; check "unwritable output" 2 $?

"$tool" -q -o "$work/batch" "$sample" "$root/samples/dds-im-bgra32-shapes-33x17.dds" "$work/short.dds" 2> "$work/err"; check "batch with one refusal" 1 $?
[ -f "$work/batch/dds-im-bgra32-shapes-33x17.dds.png" ] && [ -f "$work/batch/dds-im-dxt1-mips-photo-256x64.dds.png" ] || { echo "FAIL: batch outputs"; failures=$((failures + 1)); }
[ "$(wc -l < "$work/err")" = 1 ] || { echo "FAIL: batch error lines: $(cat "$work/err")"; failures=$((failures + 1)); }
"$tool" -o "$work/batch2" "$sample" "$work/missing.dds" "$work/short.dds" 2>/dev/null; check "batch with unreadable input" 2 $?
"$tool" --full -o "$work/batch3" "$sample" 2>/dev/null; check "full batch" 0 $?
# Threads: every sample with -j 1 and -j 4: the same files, the same exit code, the same error lines.
"$tool" -q -j 1 -o "$work/serial" "$root"/samples/*.dds "$root"/samples/*.psd "$root"/samples/*.pvr "$root"/samples/*.tga \
  >/dev/null 2> "$work/serial.err"
serial=$?
"$tool" -q -j 4 -o "$work/threads" "$root"/samples/*.dds "$root"/samples/*.psd "$root"/samples/*.pvr "$root"/samples/*.tga \
  >/dev/null 2> "$work/threads.err"
check "batch in 4 threads" "$serial" $?
diff -r "$work/serial" "$work/threads" >/dev/null || { echo "FAIL: -j 4 wrote other files than -j 1"; failures=$((failures + 1)); }
[ "$(sort "$work/serial.err")" = "$(sort "$work/threads.err")" ] || { echo "FAIL: -j 4 error lines"; failures=$((failures + 1)); }
"$tool" -j 0 -o "$work/none" "$sample" 2>/dev/null; check "-j 0" 2 $?
[ "$(png_size "$work/batch3/dds-im-dxt1-mips-photo-256x64.dds.png")" = "256x64" ] || { echo "FAIL: full batch size"; failures=$((failures + 1)); }

# Hostile files: refused (or, where the picture itself is sound, drawn) without taking more than a few MiB
# beyond what the tool takes for a tiny picture.
/usr/bin/time -f "%M %e" -o "$work/usage" "$tool" "$root/samples/dds-gimp-rgba32-shapes-5x3.dds" "$work/base.png"
read -r baseline _ < <(tail -n 1 "$work/usage")
for bomb in "$root"/tests/data/bombs/*; do
  name=$(basename "$bomb")
  expected=1
  case "$name" in psd-32768-layers.psd|psd-1x1-packbits-expansion.psd) expected=0 ;; esac
  /usr/bin/time -f "%M %e" -o "$work/usage" "$tool" "$bomb" "$work/bomb.png" >/dev/null 2>&1
  check "bomb $name" "$expected" $?
  read -r kilobytes seconds < <(tail -n 1 "$work/usage")
  echo "   $name: peak $kilobytes KiB, $seconds s"
  [ "$kilobytes" -lt $((baseline + 8192)) ] || { echo "FAIL: $name took $kilobytes KiB"; failures=$((failures + 1)); }
done

"$tool" >/dev/null 2>&1; check "no arguments" 2 $?
"$tool" --size 0 "$sample" x.png >/dev/null 2>&1; check "size 0" 2 $?
"$tool" --size 16385 "$sample" x.png >/dev/null 2>&1; check "size too large" 2 $?
"$tool" --bogus "$sample" >/dev/null 2>&1; check "unknown option" 2 $?
"$tool" --full "$sample" >/dev/null 2>&1; check "full without output" 2 $?
"$tool" --help > "$work/help"; check "help" 0 $?
grep -q "^usage:" "$work/help" || { echo "FAIL: help text"; failures=$((failures + 1)); }
"$tool" --version | grep -Eq "^mirelth-thumb [0-9]+\.[0-9]+\.[0-9]+$"; check "version" 0 $?

# --info --json: one object a line for every sample, as tests/data/samples-info.jsonl holds them (refused samples
# give their reason on stderr and exit status 1); --info for people lists a document's layers too.
(cd "$root" && ls samples | grep -Ev '\.(png|tsv|md|f32)$' | sed 's|^|samples/|' | xargs "$tool" --info --json > "$work/info.jsonl" 2> "$work/info.err")
[ "$?" = 123 ] || { echo "FAIL: --info over the samples: exit status (xargs: 123 when an input is refused)"; failures=$((failures + 1)); }
if diff -u "$root/tests/data/samples-info.jsonl" "$work/info.jsonl"; then echo "ok: --info --json of every sample"; else
  echo "FAIL: --info --json differs"; failures=$((failures + 1)); fi
grep -q "dds-pvrtextool-r8g8b8a8uint-bars-13x11.dds: unsupported: DXGI format 30" "$work/info.err" || { echo "FAIL: --info refusal: $(cat "$work/info.err")"; failures=$((failures + 1)); }
"$tool" --info "$root/samples/pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr" > /dev/null 2>&1; check "--info of a refused file" 1 $?
"$tool" --info "$root/samples/psd-gimp-layers-33x17.psd" > "$work/info.txt"; check "--info for people" 0 $?
grep -q "^  encoding: RGB 8-bit$" "$work/info.txt" && grep -q "^LayerCount=" "$work/info.txt" || { echo "FAIL: --info text: $(cat "$work/info.txt")"; failures=$((failures + 1)); }
"$tool" --json "$sample" > /dev/null 2>&1; check "--json without --info" 2 $?
"$tool" --info --full "$sample" > /dev/null 2>&1; check "--info with --full" 2 $?

# The PNG writer stores rows that will not compress, codes grain byte by byte and deflates the rest: each reads back
# as the pixels drawn (256 x 256 BGRA DDS files of noise, grain and smooth colour, drawn at full size, read with Pillow).
for content in noise grain smooth; do
  /usr/bin/python3 - "$work/$content.dds" "$content" <<'PY'
import random, struct, sys
path, content = sys.argv[1], sys.argv[2]
random.seed(3)
grain = 16 if content == "grain" else 0
pixels = bytes(random.randrange(256) if content == "noise" else (i // 4 % 256 + i % 4 * 50 + random.randrange(grain + 1)) % 256
               for i in range(256 * 256 * 4))
header = struct.pack("<4s7I44x9I16x", b"DDS ", 124, 0x100F, 256, 256, 1024, 0, 0, 32, 0x41, 0, 32,
                     0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0x1000)
open(path, "wb").write(header + pixels)
PY
  "$tool" --full "$work/$content.dds" "$work/$content.png"; check "PNG of $content" 0 $?
  /usr/bin/python3 - "$work/$content.dds" "$work/$content.png" <<'PY' || { echo "FAIL: PNG of $content does not read back"; failures=$((failures + 1)); }
import sys
from PIL import Image
bgra = open(sys.argv[1], "rb").read()[128:]
rgba = bytearray(len(bgra))
rgba[0::4], rgba[1::4], rgba[2::4], rgba[3::4] = bgra[2::4], bgra[1::4], bgra[0::4], bgra[3::4]
with Image.open(sys.argv[2]) as image:
    sys.exit(0 if image.convert("RGBA").tobytes() == bytes(rgba) else 1)
PY
done

echo "cli: $failures failed"
[ "$failures" = 0 ]
