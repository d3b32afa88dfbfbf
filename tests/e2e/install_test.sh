#!/usr/bin/env bash
# A Windows user's road, in a fresh Wine prefix of its own: the installer run
# silently, the saver started the way Windows starts it (the program that
# SCRNSAVE.EXE names, with /s, also by the short 8.3 form of its path), a
# station chosen at install, an upgrade, the uninstaller, and the zip.
#   install_test.sh DIST SCR_DIR      (DIST: build/dist; the station must be up)
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=$(cd "$1" && pwd)

# A harness of its own around a new prefix, removed afterwards.
if [[ "${NEONARA_INSTALL_PREFIX:-}" == "" ]]; then
  prefixes=$(mktemp -d "${TMPDIR:-/tmp}/neonara-install.XXXXXX")
  env -u NEONARA_HARNESS -u DISPLAY -u WINEPREFIX NEONARA_INSTALL_PREFIX=1 NEONARA_WINEPREFIX="$prefixes/prefix" \
    NEONARA_SERVICES="xvfb pulse icecast wine" "$root/scripts/harness" bash "$0" "$@"
  code=$?
  rm -rf "$prefixes"
  exit $code
fi

. "$here/saver_lib.sh"
. "$root/scripts/lib/icecast.sh"
version=$(tr -d ' \n' <"$root/VERSION")
setup="$dist/neonara-setup-$version.exe"
desktop='HKCU\Control Panel\Desktop'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Neonara'

cleanup_more() { stop_icecast; }

# The data of a registry value, or nothing.
reg_value() {  # reg_value KEY NAME
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
run_setup() {  # run_setup ARGS... : the installer's exit code
  wine "$setup" "$@" >/dev/null 2>&1
}
# Listeners of a mount of the station, from Icecast's statistics (the test
# station's admin password is the one scripts/lib/icecast.sh gives it).
listeners() {  # listeners MOUNT
  python3 - "$1" "$_NEONARA_ICECAST_PASSWORD" <<'PY'
import base64, sys, urllib.request, xml.etree.ElementTree as ET
request = urllib.request.Request("http://127.0.0.1/admin/stats")
request.add_header("Authorization", "Basic " + base64.b64encode(("admin:" + sys.argv[2]).encode()).decode())
stats = ET.fromstring(urllib.request.urlopen(request, timeout=5).read())
print(sum(int(s.findtext("listeners") or 0) for s in stats.iter("source") if s.get("mount") == sys.argv[1]))
PY
}
listening() { [[ $(listeners "$1") -ge 1 ]]; }

# Starts the saver as Windows does, checks it plays MOUNT, ends it with a key.
saver_plays() {  # saver_plays PROGRAM MOUNT
  scr=$1
  start_saver
  wait_for 60 listening "$2" || fail "the saver started as $1 does not play $2"
  grep -q "No Channel" "$work/out" && fail "the saver could not open the station"
  echo "ok: $1 /s plays $2"
  xdotool key space
  expect_end "EVENT_MOUSEDOWN, EVENT_KEYDOWN"
}

[[ -f "$setup" ]] || fail "no installer at $setup"
start_icecast || fail "the station does not answer"
# A second mount of the station, for a station chosen at install.
(
  export NEONARA_ICECAST_MOUNT=/stream/second NEONARA_ICECAST_ARTIST="Second Station"
  . "$root/scripts/lib/icecast.sh"
  start_icecast && echo "$_NEONARA_EZSTREAM_PID $_NEONARA_ICECAST_DIR" >"$work/second"
) || fail "the second mount did not come up"
read -r second_pid second_dir <"$work/second"
cleanup_more() { kill "$second_pid" 2>/dev/null; rm -rf "$second_dir"; stop_icecast; }

# The screensaver the user had before.
wine reg add "$desktop" /v SCRNSAVE.EXE /d 'C:\windows\system32\previous.scr' /f >/dev/null 2>&1
wine reg add "$desktop" /v ScreenSaveActive /d 0 /f >/dev/null 2>&1

# 1. A silent install with the build's station.
run_setup /S || fail "the silent install failed (exit $?)"
dir=$(reg_value 'HKCU\Software\Neonara' InstallDir)
[[ "$dir" == *'\AppData\Local\Programs\Neonara' ]] || fail "installed into '$dir', not the user's programs folder"
for file in neonara.scr bass.dll neonara.html README.txt uninstall.exe; do
  [[ -f "$(unix_path "$dir\\$file")" ]] || fail "$file is missing in $dir"
done
saver=$(reg_value "$desktop" SCRNSAVE.EXE)
[[ -f "$(unix_path "$saver")" ]] || fail "SCRNSAVE.EXE names '$saver', which does not exist"
[[ $(reg_value "$desktop" ScreenSaveActive) == 1 ]] || fail "ScreenSaveActive is not 1"
[[ $(reg_value 'HKCU\Software\Neonara' PreviousScreenSaver) == 'C:\windows\system32\previous.scr' ]] ||
  fail "the previous screensaver was not kept"
[[ $(reg_value "$uninstall_key" DisplayName) == "Neonara Screensaver" ]] || fail "no uninstall entry"
[[ $(reg_value "$uninstall_key" DisplayVersion) == "$version" ]] || fail "the uninstall entry's version is not $version"
grep -q 'http://127.0.0.1:80/stream/1040' "$(unix_path "$dir\\neonara.html")" ||
  fail "the page does not show the station in use"
echo "ok: installed into $dir, SCRNSAVE.EXE=$saver, previous kept, uninstall entry"
saver_plays "$saver" /stream/1040

# 2. Installing while the saver runs is refused, and nothing changes.
scr=$saver
start_saver
run_setup /S
code=$?
[[ $code == 3 ]] || fail "installing while the saver runs gave exit code $code, not 3"
xdotool key space
expect_end "EVENT_MOUSEDOWN, EVENT_KEYDOWN"
echo "ok: installing while the saver runs is refused"

# 3. The uninstaller puts everything back. It runs from a copy of itself, so
# the command returns before it has finished: its end is waited for.
uninstall() {  # uninstall DIR
  local folder
  folder=$(unix_path "$1")
  wine "$(reg_value "$uninstall_key" UninstallString | tr -d '"')" /S >/dev/null 2>&1
  gone() { [[ ! -e "$folder" ]] && ! wine reg query "$uninstall_key" >/dev/null 2>&1; }
  wait_for 60 gone || fail "the uninstaller left $1 or its uninstall entry"
}
uninstall "$dir"
[[ $(reg_value "$desktop" SCRNSAVE.EXE) == 'C:\windows\system32\previous.scr' ]] ||
  fail "the previous screensaver is not back: '$(reg_value "$desktop" SCRNSAVE.EXE)'"
[[ $(reg_value "$desktop" ScreenSaveActive) == 0 ]] || fail "ScreenSaveActive is not back to 0"
wine reg query 'HKCU\Software\Neonara' >/dev/null 2>&1 && fail "HKCU\\Software\\Neonara is still there"
echo "ok: the uninstaller removed every file and key and restored the previous screensaver"

# 4. Another station, in a folder with long names: Windows starts the saver
# by the short 8.3 form of its path, which SCRNSAVE.EXE holds.
long='C:\NeonaraLongFolderName\ScreenSaverFiles'  # /D= takes no quotes, so no spaces
run_setup /S /STATION=http://127.0.0.1/stream/second "/D=$long" || fail "the install with a station failed (exit $?)"
saver=$(reg_value "$desktop" SCRNSAVE.EXE)
[[ "$saver" == *'~'* ]] || fail "SCRNSAVE.EXE holds '$saver', not a short 8.3 path"
[[ $(reg_value 'HKCU\Software\Neonara' StationURL) == http://127.0.0.1/stream/second ]] ||
  fail "the chosen station is not stored"
saver_plays "$saver" /stream/second

# 5. An upgrade in place keeps the station and one uninstall entry.
run_setup /S "/D=$long" || fail "the upgrade failed"
[[ $(reg_value 'HKCU\Software\Neonara' StationURL) == http://127.0.0.1/stream/second ]] ||
  fail "the upgrade lost the chosen station"
entries=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null | tr -d '\r' |
  grep -c 'Uninstall\\Neonara')
[[ $entries == 1 ]] || fail "$entries uninstall entries after the upgrade"
[[ $(reg_value 'HKCU\Software\Neonara' PreviousScreenSaver) == 'C:\windows\system32\previous.scr' ]] ||
  fail "the upgrade forgot the previous screensaver"
echo "ok: the upgrade kept the station and one uninstall entry"
run_setup /S /STATION=HTTPS://localhost:18443/ogg "/D=$long" || fail "an https station was refused (exit $?)"
[[ $(reg_value 'HKCU\Software\Neonara' StationURL) == HTTPS://localhost:18443/ogg ]] ||
  fail "the https station is not stored"
run_setup /S /STATION=https:///ogg "/D=$long"
[[ $? == 2 ]] || fail "an https address without a host was not refused with exit code 2"
echo "ok: an https station is taken, one without a host refused"
uninstall "$long"
[[ $(reg_value "$desktop" SCRNSAVE.EXE) == 'C:\windows\system32\previous.scr' ]] ||
  fail "the previous screensaver is not back after the second uninstall"
echo "ok: uninstalled again"

# 6. The zip: the three files and the read-me, nothing else.
names=$(unzip -Z1 "$dist/neonara-$version.zip" | sort | tr '\n' ' ')
[[ "$names" == "README.txt bass.dll neonara.html neonara.scr " ]] || fail "the zip holds: $names"
echo "ok: the zip holds $names"
exit 0
