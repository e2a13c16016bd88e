#!/usr/bin/env bash
# A later start brings the running window back as a user sees it: a
# minimised window is restored, a window covered by another comes to the
# front, a hidden one is shown; the later start leaves nothing behind.
. "$(dirname "$0")/lib.sh"

hidden_state() { [[ $(xprop -id "$1" _NET_WM_STATE) == *_NET_WM_STATE_HIDDEN* ]]; }
later_start() {
    "$VORN" "$WORK" >"$WORK/later.log" 2>&1 &
    local later=$!
    wait_exit "$later"
    [ "$STATUS" = 0 ] || fail "the later start ended with status $STATUS"
    [ -z "$(wmctrl -lp | awk -v pid="$later" '$3 == pid')" ] || fail "the later start left a window"
}
# Succeeds when window $1 is stacked above window $2.
above() {
    local id n=0 pa=0 pb=0
    for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr ',' ' '); do
        n=$((n + 1))
        [ $((id)) = $(($1)) ] && pa=$n
        [ $((id)) = $(($2)) ] && pb=$n
    done
    [ "$pa" -gt "$pb" ]
}

start_vorn
win=$(main_window)

not_hidden() { ! hidden_state "$1"; }

xdotool windowminimize "$win"
eventually hidden_state "$win" || fail "could not minimise the window"
later_start
eventually not_hidden "$win" || fail "the minimised window was not restored"
wait_shown "$win" || fail "the restored window is not shown"

xmessage -geometry 700x500+0+0 "on top" &
cover=$!
PIDS+=("$cover")
# xmessage does not name its process on its window: find it by its title.
cover_win=
for _ in $(seq 100); do
    cover_win=$(wmctrl -l | awk '$NF == "xmessage" {print $1}' | head -n 1)
    [ -n "$cover_win" ] && break
    sleep 0.1
done
[ -n "$cover_win" ] || fail "no covering window"
xdotool windowactivate --sync "$cover_win"
eventually above "$cover_win" "$win" || fail "the window was not covered"
later_start
eventually above "$win" "$cover_win" || fail "the covered window was not raised"

wmctrl -i -c "$win"
wait_hidden "$win" || fail "the close box did not hide the window"
later_start
wait_shown "$win" || fail "the hidden window was not shown"
echo "PASS: a later start restores, raises and shows the running window"
