#!/usr/bin/env bash
# The Chinese texts come out whole in every locale: the framework keeps the C
# locale, where a narrow literal would convert to nothing.
. "$(dirname "$0")/lib.sh"

echo x >"$WORK/中文 文件.txt"
for locale in C C.UTF-8 zh_CN.UTF-8 unset; do
    if [ "$locale" = unset ]; then
        env -u LANG -u LC_ALL -u LC_CTYPE -u LANGUAGE "$VORN" "$WORK/中文 文件.txt" >"$WORK/out.log" 2>&1 &
    else
        env LANG="$locale" LC_ALL="$locale" "$VORN" "$WORK/中文 文件.txt" >"$WORK/out.log" 2>&1 &
    fi
    PID=$!
    PIDS+=("$PID")
    win=$(main_window)
    title=$(wmctrl -l | awk -v id="$win" '$1 == id' | cut -d' ' -f5-)
    [ "$title" = "Zemfi彻底删除工具 - 1.0" ] || fail "title under $locale: '$title'"
    xdotool windowactivate --sync "$win" key --clearmodifiers alt+q
    wait_exit "$PID"
    [ "$STATUS" = 0 ] || fail "exit status $STATUS under $locale"
done
echo "PASS: the title is whole under C, C.UTF-8, zh_CN.UTF-8 and no locale"
