#!/usr/bin/env bash
# The real program paints its window and answers its notification-area icon: the window at
# rest, the popup menu on a right click, no icon while the window shows. Screenshots go to
# the build folder.
# usage: painting.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_USER_FOLDER=844812

e2e_begin painting
kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
check_soon "window shows" "1 0" shown_state
check "no tray icon while the window shows" "0" "$(drv tray "$TITLE")"
screenshot painting_window

# A right click on the icon opens the popup menu at the pointer.
drv post "$TITLE" 1124 1 516
check_soon "popup menu open" "1" drv menus "$TITLE"
screenshot painting_menu
drv post "$TITLE" WM_CANCELMODE
check_soon "popup menu closed" "0" drv menus "$TITLE"

# A restarted shell while the window shows: still no icon.
drv post-registered "$TITLE" TaskbarCreated
sleep 0.5
check "no icon after the shell restarts while the window shows" "0" "$(drv tray "$TITLE")"
check "window still shows" "1" "$(state_field visible)"

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
