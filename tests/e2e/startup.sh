#!/usr/bin/env bash
# The real program starts, owns its data folder, keeps one copy and saves its settings.
# usage: startup.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_USER_FOLDER=844812  # "kxuser" + "TV": byte sum 844, length 8

e2e_begin startup
data=$(kx_data_dir)
check "no data folder before the first start" "no" "$([ -e "$data" ] && echo yes || echo no)"

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 1
state=$(drv state "$TITLE")
echo "     $state"
get() { echo "$state" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
check "window is visible and not minimised" "1 0" "$(get visible) $(get iconic)"
check "window is topmost" "1" "$(get topmost)"
check "window size" "500x330" "$(get w)x$(get h)"
check "window is centred" "$(( ($(get screen_w) - 500) / 2 )),$(( ($(get screen_h) - 330) / 2 ))" "$(get x),$(get y)"
check "data folder created" "yes" "$([ -d "$data" ] && echo yes || echo no)"
screenshot startup

# A second copy ends at once with 0 and leaves the first alone.
rc=0; timeout 30 "$WINE" "$KX_EXE" </dev/null >/dev/null 2>&1 || rc=$?
check "second start exits with 0" "0" "$rc"
check "one main window" "1" "$(drv count "$TITLE")"
check "first copy still runs" "yes" "$(kill -0 "$KX_PID" 2>/dev/null && echo yes || echo no)"
check "visible window left as it was" "1 0" "$(state_field visible) $(state_field iconic)"

# A second start while the first is minimised restores it.
drv minimize "$TITLE"
check_soon "first copy minimised" "1" state_field iconic
rc=0; timeout 30 "$WINE" "$KX_EXE" </dev/null >/dev/null 2>&1 || rc=$?
check "second start exits with 0" "0" "$rc"
check_soon "first copy restored" "1 0" shown_state

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
check "settings file holds six bytes" "000000" "$(cat "$data/kx.vars" 2>/dev/null)"
check "settings file size" "6" "$(stat -c %s "$data/kx.vars" 2>/dev/null)"

# Settings survive a run unchanged, whatever the user chose before.
printf '010000' > "$data/kx.vars"
kx_start
drv find "$TITLE" 20000 >/dev/null
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "second run exits with 0" "0" "$KX_RC"
check "settings kept across runs" "010000" "$(cat "$data/kx.vars")"
