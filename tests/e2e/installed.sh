#!/usr/bin/env bash
# The installed package as a person meets it: started from the menu entry's
# command line with a file, it shows its window with the installed icon,
# shreds the file on Alt+D and ends on Alt+Q.
VORN=${VORN:-/usr/bin/vorn}
. "$(dirname "$0")/lib.sh"

entry=/usr/share/applications/vorn.desktop
[ -f "$entry" ] || fail "no desktop entry at $entry"
desktop-file-validate "$entry" || fail "the desktop entry does not validate"
grep -q '^MimeType=' "$entry" && fail "the desktop entry claims MIME types"
metainfo=/usr/share/metainfo/com.example.vorn.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "no valid software-centre metadata at $metainfo"
grep -q '<launchable type="desktop-id">vorn.desktop</launchable>' "$metainfo" ||
    fail "the metadata does not name the installed desktop entry"
[ -f /usr/share/vorn/weather-storm.ico ] || fail "no installed window icon"
[ -f /usr/share/icons/hicolor/48x48/apps/vorn.png ] || fail "no icon named vorn in the hicolor theme"
[[ $(dpkg-query -W -f='${Depends}' vorn) == *libayatana-appindicator3-1* ]] ||
    fail "the package does not depend on the StatusNotifierItem library"
# Through files, not pipes: grep -q would end the pipe early and, under
# pipefail, fail the test on the writer's broken pipe.
strings -e L "$VORN" >"$WORK/strings.txt"
grep -qx /usr/share/vorn/weather-storm.ico "$WORK/strings.txt" ||
    fail "the program does not name the installed icon"

echo "secret" >"$WORK/secret file.txt"
exec_line=$(sed -n 's/^Exec=//p' "$entry")
read -r -a command <<<"${exec_line/\%F/}"
"${command[@]}" "$WORK/secret file.txt" >"$WORK/out.log" 2>&1 &
PID=$!
PIDS+=("$PID")
win=$(main_window)
# The icon file's largest picture is 256 x 256: width and height lead the data.
xprop -id "$win" 32c _NET_WM_ICON >"$WORK/icon.txt"
grep -q '= 256, 256, ' "$WORK/icon.txt" ||
    fail "the window shows no icon from the installed file"

xdotool windowactivate --sync "$win" key --clearmodifiers alt+d
for _ in $(seq 100); do
    [ -e "$WORK/secret file.txt" ] || break
    sleep 0.1
done
[ ! -e "$WORK/secret file.txt" ] || fail "Alt+D did not shred the file"
[ -z "$(ls "$WORK" | grep '^del\.file\.')" ] || fail "a temporary name was left behind"

xdotool windowactivate --sync "$win" key --clearmodifiers alt+q
wait_exit "$PID"
[ "$STATUS" = 0 ] || fail "exit status $STATUS after Alt+Q"
echo "PASS: the installed program starts from its menu entry, shreds and quits"
