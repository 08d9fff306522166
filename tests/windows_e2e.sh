#!/usr/bin/env bash
# The shipped DLL, end to end under Wine: what it imports and exports, the shell-like client over samples of
# every container, and registration through regsvr32. Run from the repository root by scripts/test.
set -u
dll=build/windows/MirelthThumbnail.dll
client=build/windows/tests/e2e_client.exe
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# 64-bit, the four exports, and only Windows system DLLs imported (Explorer would not find a runtime DLL).
objdump=x86_64-w64-mingw32-objdump
"$objdump" -f "$dll" | grep -q "file format pei-x86-64" || fail "$dll is not a 64-bit PE"
imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print tolower($3)}')
for name in $imports; do
  case "$name" in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|ole32.dll|oleaut32.dll|shell32.dll|shlwapi.dll|msvcrt.dll|propsys.dll) ;;
    *) fail "$dll imports $name" ;;
  esac
done
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
[ "$exports" = "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer " ] || fail "exports: $exports"
case "$(basename "$dll")" in lib*) fail "the DLL has a lib prefix" ;; esac

# Samples of every container, square and not, with alpha and without.
shopt -s nullglob
samples=(samples/dds-im-dxt1-mips-photo-256x64.dds samples/dds-gimp-rgba32-shapes-5x3.dds
         samples/dds-pvrtextool-cubemap-r5g6b5-faces-64x64.dds samples/dds-wrap-etc1tool-etc1-photo-33x17.dds
         samples/pvr3-pvrtextool-rgba4444-ramp-33x17.pvr samples/pvr2-pvrtextool-flipped-rgba8888-grad-33x17.pvr
         samples/psd-im-rgba-rle-shapes-6x7.psd
         samples/tga-im-rgba32-rle-rings-40x24.tga samples/tga-pillow-pal8-bars-17x33.tga
         samples/psd-agpsd-flatten-masks-clip-halo-64x128.psd samples/psd-own-zippred-rgba16-halo-48x40.psd
         samples/pvr-pvrtextool-astc-5x5-halo-24x24.pvr samples/pvr-pvrtextool-pvrtc1-4bpp-rgba-halo-32x64.pvr
         samples/pvr-pvrtextool-etc2-rgba-halo-48x40.pvr samples/dds-bc7enc-bc7-rings-40x24.dds
         samples/hdr-oiio-rle-lamp-48x40.hdr samples/hdr-own-orient-pYmX-lamp-48x40.hdr
         samples/dds-blocks-bc6hsf16-mode11-hdr-40x24.dds samples/vtf-bc7enc-v75-dxt5-mips-halo-64x64.vtf
         samples/vtf-vtflib-v73-uv88-dents-32x32.vtf samples/vtf-vtflib-v74-rgba16161616f-lamp-32x32.vtf
         samples/ktx1-toktx-orient-ru-tiles-20x12.ktx samples/ktx1-pvrtextool-etc2rgba-halo-24x24.ktx
         samples/ktx2-create-zstd-r8g8b8srgb-sky-60x36.ktx2 samples/ktx2-create-zlib-mips-r8g8b8a8unorm-halo-64x32.ktx2
         samples/ktx2-bc7enc-bc7unorm-halo-48x40.ktx2 samples/ktx2-create-r16g16b16a16sfloat-lamp-48x40.ktx2
         samples/astc-astcenc-6x6-ch-lamp-48x40.astc samples/astc-astcenc-8x5-cl-halo-48x40.astc
         samples/exr-oiio-half-rgba-piz-lamp-48x40.exr samples/exr-exrmaketiled-mipmap-zip-lamp-48x40.exr
         samples/exr-oiio-half-rgb-dwaa-lamp-48x40.exr samples/exr-openexr-yc-zip-lamp-48x40.exr
         samples/exr-oiio-half-rgba-datawindow-b44-lamp-48x40.exr)
# A large document under its own ".psb" name.
mkdir -p build/windows/e2e
cp samples/psb-agpsd-flatten-groups-tiles-100x60.psd build/windows/e2e/groups.psb
samples+=(build/windows/e2e/groups.psb)
present=()
for sample in "${samples[@]}"; do
  # Only containers the build draws: a sample that the native tool refuses is not for this round.
  if build/native/mirelth-thumb --full "$sample" /dev/null >/dev/null 2>&1 || [ ! -x build/native/mirelth-thumb ]; then
    present+=("$sample")
  fi
done
scripts/wine-run "$client" "$dll" "${present[@]}" || fail "the shell-like client"

scripts/wine-run regsvr32 /s "$dll" || fail "regsvr32"
scripts/wine-run "$client" --expect-registered "$dll" || fail "layout after regsvr32"
# The property handler through the registry on every sample, against the command line's facts of the same files.
mapfile -t described < <(ls samples | grep -Ev '\.(png|tsv|md|f32)$' | sed 's|^|samples/|')
scripts/wine-run "$client" --properties "${described[@]}" > build/windows/e2e/properties.txt || fail "the property handler"
scripts/wine-run build/windows/mirelth-thumb.exe --info --json "${described[@]}" > build/windows/e2e/info.jsonl 2>/dev/null
/usr/bin/python3 - build/windows/e2e/properties.txt build/windows/e2e/info.jsonl <<'PY' || fail "properties differ from --info --json"
import json, sys
props = {}
for line in open(sys.argv[1], encoding="utf-8"):
    if not line.startswith("file="):
        continue
    fields = dict(f.split("=", 1) for f in line.rstrip("\r\n").split("\t"))
    props[fields.pop("file")] = fields
infos = [json.loads(l) for l in open(sys.argv[2], encoding="utf-8") if l.strip()]
bad = 0
for info in infos:
    got = props.get(info["file"], {})
    for key, value in got.items():
        want = str(info.get(key)).lower() if isinstance(info.get(key), bool) else str(info.get(key))
        if want != value:
            print("property %s of %s: %s, --info says %s" % (key, info["file"], value, want)); bad += 1
    if len(got) < 10:
        print("%s: %d properties" % (info["file"], len(got))); bad += 1
print("properties of %d files compared" % len(infos))
sys.exit(1 if bad or len(infos) < 80 else 0)
PY
# The preview pane in a window under a virtual display (Xvfb, started here and stopped after): every sample's pane
# against our own filtered drawing (a refused one: its reason written), the keys, a resize, the host's colours,
# Unload, GDI objects and handles. The wineserver is restarted so that the display's windowing driver is loaded.
if command -v Xvfb >/dev/null; then
  display=:$((90 + RANDOM % 9))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
  MIRELTH_WINE_DISPLAY=$display scripts/wine-run "$client" --preview "${described[@]}" || fail "the preview pane"
  WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
else
  fail "Xvfb missing (scripts/install-deps installs xvfb)"
fi
scripts/wine-run regsvr32 /u /s "$dll" || fail "regsvr32 /u"
scripts/wine-run "$client" --expect-unregistered || fail "layout after regsvr32 /u"

echo "windows e2e: $failures failed"
[ "$failures" = 0 ]
