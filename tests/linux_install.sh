#!/usr/bin/env bash
# Installing on Linux: `cmake --install` into a staging prefix, the installed thumbnailer entry run the way a file
# manager runs it on a sample of every type (and on a file to refuse), the MIME types it adds compiled by
# update-mime-database, the .deb's contents (and its program run from an extracted tree), and Debian's tumbler
# (Xfce's thumbnail service) asked over D-Bus for thumbnails through our entry. Run from the repository root by
# scripts/test, after scripts/package.
set -uo pipefail
root=$(pwd)
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
failures=0
fail() { echo "linux install: FAIL: $*"; failures=$((failures + 1)); }
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print ($1*16777216+$2*65536+$3*256+$4) "x" ($5*16777216+$6*65536+$7*256+$8)}'; }

stage=$work/stage
cmake --install build/native --prefix "$stage" >/dev/null || fail "cmake --install"
for file in bin/mirelth-thumb share/thumbnailers/mirelth.thumbnailer share/mime/packages/mirelth.xml \
            share/man/man1/mirelth-thumb.1; do
  [ -f "$stage/$file" ] || fail "not installed: $file"
done

# The entry, as a file manager reads it.
entry=$stage/share/thumbnailers/mirelth.thumbnailer
exec_line=$(sed -n 's/^Exec=//p' "$entry")
try_exec=$(sed -n 's/^TryExec=//p' "$entry")
mime_types=$(sed -n 's/^MimeType=//p' "$entry")
[ "$try_exec" = mirelth-thumb ] || fail "TryExec=$try_exec"
for type in $(build/native/mirelth-tables mime-types); do  # every type of the table of containers
  case ";$mime_types" in *";$type;"*) ;; *) fail "MimeType lacks $type" ;; esac
done
cp samples/psb-im-rgba-rle-halo-48x40.psd "$work/large.psb"
inputs=(samples/dds-bc7enc-bc7-rings-40x24.dds samples/psd-agpsd-flatten-modes-sky-60x36.psd "$work/large.psb"
        samples/pvr-pvrtextool-astc-5x5-halo-24x24.pvr samples/tga-im-rgba32-rle-rings-40x24.tga
        samples/ktx2-create-zstd-r8g8b8srgb-sky-60x36.ktx2 samples/astc-astcenc-6x6-cl-sky-60x36.astc
        samples/exr-oiio-half-rgba-piz-lamp-48x40.exr)
run_entry() {  # run_entry SIZE INPUT OUTPUT: the Exec line with %s, %i and %o replaced, found on PATH
  local line=${exec_line//%s/$1}
  line=${line//%i/$2}
  line=${line//%o/$3}
  # shellcheck disable=SC2086  # the entry's words, as the file manager splits them
  PATH="$stage/bin:$PATH" $line >/dev/null 2>"$work/err"
}
for input in "${inputs[@]}"; do
  out=$work/$(basename "$input").png
  run_entry 128 "$input" "$out" || fail "$(basename "$input"): exit $? ($(cat "$work/err"))"
  size=$(png_size "$out" 2>/dev/null)
  width=${size%x*} height=${size#*x}
  [ "${width:-0}" -le 128 ] && [ "${height:-0}" -le 128 ] && [ $((width > height ? width : height)) = 128 ] ||
    fail "$(basename "$input"): $size does not fit 128"
done
run_entry 128 samples/pvr-pvrtextool-refuse-pvrtc2-4bpp-halo-32x64.pvr "$work/refused.png" &&
  fail "a file to refuse was drawn"
[ ! -e "$work/refused.png" ] || fail "a refusal wrote its output"

# The MIME types we add, compiled with the system's own.
mime=$work/mime
mkdir -p "$mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$stage/share/mime/packages/mirelth.xml" "$mime/packages/"
update-mime-database "$mime" >/dev/null 2>&1 || fail "update-mime-database"
grep -q 'image/x-pvr:\*\.pvr' "$mime/globs2" || fail "no *.pvr glob"
grep -q 'image/vnd.adobe.photoshop:\*\.psb' "$mime/globs2" || fail "no *.psb glob"
grep -q 'image/x-pvr' "$mime/magic" || fail "no PVR magic"

# The package.
deb=$(ls build/native/mirelth-thumbnail_*_amd64.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  fail "no .deb (scripts/package makes it)"
else
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for file in ./usr/bin/mirelth-thumb ./usr/share/thumbnailers/mirelth.thumbnailer \
              ./usr/share/mime/packages/mirelth.xml ./usr/share/man/man1/mirelth-thumb.1; do
    grep -qx "$file" <<<"$listing" || fail ".deb lacks $file"
  done
  dpkg-deb -f "$deb" Depends | grep -q libdeflate || fail ".deb without its library dependencies"
  dpkg-deb -x "$deb" "$work/deb"
  "$work/deb/usr/bin/mirelth-thumb" --version >/dev/null || fail "the packaged program does not run"
fi

# tumbler: its D-Bus service with our entry on XDG_DATA_DIRS; thumbnails must land in the freedesktop cache
# under the MD5 of their URI.
if ! ls /usr/share/dbus-1/services/*Tumbler*.service >/dev/null 2>&1 || ! command -v dbus-run-session >/dev/null || ! command -v gdbus >/dev/null; then
  fail "tumbler, dbus-run-session or gdbus missing (scripts/install-deps installs them)"
else
  mkdir -p "$work/home/cache" "$work/files"  # tumbler writes into an existing cache directory only
  uris=() types=()
  for input in "${inputs[@]}"; do
    cp "$input" "$work/files/"
    uris+=("'file://$work/files/$(basename "$input")'")
  done
  types=("'image/x-dds'" "'image/vnd.adobe.photoshop'" "'image/vnd.adobe.photoshop'" "'image/x-pvr'" "'image/x-tga'"
         "'image/ktx2'" "'image/astc'" "'image/x-exr'")
  # The bus is started with the environment, so that the tumblerd it activates on the first call sees our entry.
  cat > "$work/tumbler.sh" <<EOF
for i in \$(seq 50); do
  gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
    --method org.freedesktop.thumbnails.Thumbnailer1.GetSupported >/dev/null 2>&1 && break
  sleep 0.2
done
gdbus call --session --dest org.freedesktop.thumbnails.Thumbnailer1 --object-path /org/freedesktop/thumbnails/Thumbnailer1 \
  --method org.freedesktop.thumbnails.Thumbnailer1.Queue "[$(IFS=,; echo "${uris[*]}")]" "[$(IFS=,; echo "${types[*]}")]" \
  normal default 0 >/dev/null
for i in \$(seq 100); do
  [ \$(ls "$work/home/cache/thumbnails/normal" 2>/dev/null | wc -l) -ge ${#inputs[@]} ] && break
  sleep 0.1
done
EOF
  HOME="$work/home" XDG_CACHE_HOME="$work/home/cache" XDG_DATA_DIRS="$stage/share:/usr/share" PATH="$stage/bin:$PATH" \
    timeout 60 dbus-run-session -- bash "$work/tumbler.sh" >/dev/null 2>&1
  for input in "${inputs[@]}"; do
    uri="file://$work/files/$(basename "$input")"
    hash=$(printf '%s' "$uri" | md5sum | cut -d' ' -f1)
    [ -f "$work/home/cache/thumbnails/normal/$hash.png" ] || fail "tumbler made no thumbnail of $(basename "$input")"
  done
fi

echo "linux install: $failures failed"
[ "$failures" = 0 ]
