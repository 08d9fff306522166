#!/usr/bin/env bash
# The installer under Wine, for the current user and for all users: a silent install, the files and the registry
# layout read back (the classes, the handler keys, the Apps & features entry), thumbnails through the registered
# class, a silent uninstall, and nothing left behind. Run from the repository root by scripts/test.
set -uo pipefail
setup=build/windows/MirelthThumbnail-setup.exe
client=build/windows/tests/e2e_client.exe
failures=0
fail() { echo "installer: FAIL: $*"; failures=$((failures + 1)); }
[ -f "$setup" ] || { echo "installer: $setup missing (is nsis installed?)"; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$(pwd)/build/windows/wineprefix} WINEDEBUG=-all
uninstallKey='Software\Microsoft\Windows\CurrentVersion\Uninstall\MirelthThumbnail'
samples=(samples/tga-im-rgba32-rle-rings-40x24.tga samples/dds-bc7enc-bc7-rings-40x24.dds
         samples/pvr-pvrtextool-astc-5x5-halo-24x24.pvr samples/psd-agpsd-flatten-modes-sky-60x36.psd)

# round NAME FLAG HIVE WINDOWS-DIR CLIENT-FLAG
round() {
  local name=$1 flag=$2 hive=$3 dir=$4 user=$5
  local unixDir
  scripts/wine-run "$setup" /S "$flag" || fail "$name: silent install"
  wineserver -w
  unixDir=$(winepath -u "$dir" 2>/dev/null)
  [ -f "$unixDir/MirelthThumbnail.dll" ] && [ -f "$unixDir/uninstall.exe" ] || fail "$name: files in $dir"
  scripts/wine-run "$client" --expect-registered "$dir\\MirelthThumbnail.dll" $user >/dev/null || fail "$name: registry layout"
  wine reg query "$hive\\$uninstallKey" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "$version" ||
    fail "$name: Apps & features entry with version $version"
  scripts/wine-run "$client" --thumbnail "${samples[@]}" $user >/dev/null || fail "$name: thumbnails through the registry"
  scripts/wine-run "$dir\\uninstall.exe" /S || fail "$name: silent uninstall"
  wineserver -w
  [ ! -e "$unixDir" ] || fail "$name: $dir left behind: $(ls "$unixDir")"
  scripts/wine-run "$client" --expect-unregistered $user >/dev/null || fail "$name: registry keys left behind"
  if wine reg query "$hive\\$uninstallKey" >/dev/null 2>&1; then fail "$name: Apps & features entry left behind"; fi
  echo "installer: $name round done"
}

version=$(sed -n 's/^project(MirelthThumbnail VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
localAppData=$(scripts/wine-run cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
programFiles=$(scripts/wine-run cmd /c echo %ProgramW6432% 2>/dev/null | tr -d '\r')
round "current user" /CURRENTUSER HKCU "$localAppData\\Programs\\MirelthThumbnail" --user
round "all users" /ALLUSERS HKLM "$programFiles\\MirelthThumbnail" ""
echo "installer: $failures failed"
[ "$failures" = 0 ]
