#!/usr/bin/env bash
# Programs planted under the names of system tools, beside the program and in its current
# directory, never run: every menu item, hot key and button that starts a tool starts the
# system's own by its full path. The program runs from "C:\tools.exe kit\", so a quoted
# command line names C:\tools.exe before the program itself: what it copies is still its
# own file. Links on the desktop and in the data folder get nothing written through them.
# Restart and shutdown start Wine's shutdown.exe, which only reports itself a stub.
# usage: planted_tools.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_MARKER=$(dirname "$KX_DRIVER")/kxmarker.exe
KX_USER_FOLDER=844812
PLANTED="regedit.exe taskmgr.exe cmd.exe shutdown.exe rundll32.exe control.exe mmc.exe rstrui.exe"

e2e_begin planted_tools
drive_c=$WINEPREFIX/drive_c
program_dir="$drive_c/tools.exe kit"
work_dir=$drive_c/Work
mkdir -p "$program_dir" "$work_dir"
cp "$KX_EXE" "$program_dir/kestrix.exe"
cp "$KX_MARKER" "$drive_c/tools.exe"
for dir in "$program_dir" "$work_dir"; do
  for tool in $PLANTED; do cp "$KX_MARKER" "$dir/$tool"; done
  echo "not a console" >"$dir/services.msc"
done
# Markers the planted programs leave when they run (tools.exe.ran for C:\tools.exe).
markers() { (cd "$drive_c" && ls -- "tools.exe kit"/*.ran Work/*.ran *.ran 2>/dev/null | tr '\n' ' '); }

# The data folder's settings and log are links to a file of the user's elsewhere.
outside=$E2E_DIR/outside
mkdir -p "$outside" "$(kx_data_dir)"
echo "the user's file" >"$outside/user_file.txt"
ln -s "$outside/user_file.txt" "$(kx_data_dir)/kx.vars"
ln -s "$outside/user_file.txt" "$(kx_data_dir)/KX_Log.txt"
ln -s "$outside/new_log_copy.txt" "$(kx_data_dir)/KX_Log.txt.tmp"
outside_state() { (cd "$outside" && ls -l --time-style=+%s.%N | tail -n +2 && md5sum -- *); }
outside_before=$(outside_state)

# Every process the program asks Wine to create, as Wine's process channel reports it.
trace=$E2E_DIR/process.log
(cd "$work_dir" && WINEDEBUG=+process exec "$WINE" 'C:\tools.exe kit\kestrix.exe' </dev/null >/dev/null 2>"$trace") &
KX_PID=$!
check "the program starts" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
# The applications it asked for, in lower case; conhost.exe is Wine's own console host,
# which Wine starts for the command line.
asked() {
  sed -n 's/.*CreateProcessInternalW app L"\([^"]*\)".*/\1/p' "$trace" | sed 's/\\\\/\\/g' | tr 'A-Z' 'a-z' |
    grep -vxF 'c:\windows\system32\conhost.exe' | sort -u | tr '\n' ' '
}
# The Wine processes of this scenario's prefix (other prefixes may run beside it), by command line.
our_processes() {
  ps -eo pid=,args= | while read -r pid args; do
    case "$args" in [A-Za-z]:\\*) ;; *) continue ;; esac
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$args"
  done
}
running() { our_processes | grep -ciF "$1" || true; }

# Menu commands: services, registry editor, user accounts, system restore, task manager,
# command line, safe removal, restart, shut down. Hot keys: disk management, safe removal,
# restart, shut down. (The bottom bar's buttons name the same tools; a click there goes to
# the region the pointer was over at the last interface tick, which a script cannot see,
# so the screen-region tests cover them.)
for id in 31 32 33 34 35 36 45 13 14; do drv post "$TITLE" WM_COMMAND "$id" || echo "     WM_COMMAND $id not posted"; done
for id in 816 817 814 815; do drv post "$TITLE" WM_HOTKEY "$id" || echo "     WM_HOTKEY $id not posted"; done

sys='c:\windows\system32'
expected="c:\\windows\\regedit.exe $sys\\cmd.exe $sys\\mmc.exe $sys\\rstrui.exe $sys\\rundll32.exe $sys\\shutdown.exe $sys\\taskmgr.exe "
for _ in $(seq 1 300); do
  [ "$(asked)" = "$expected" ] && [ "$(running 'regedit.exe')" -gt 0 ] && [ "$(running 'taskmgr.exe')" -gt 0 ] &&
    [ "$(running 'cmd.exe')" -gt 0 ] && break
  sleep 0.1
done
check "every tool is asked for by its full system path" "$expected" "$(asked)"
check "no application is left for Wine to search" "" "$(grep -c 'CreateProcessInternalW app (null)' "$trace" | sed 's/^0$//')"
check "the real registry editor runs" "yes" "$([ "$(running 'C:\windows\regedit.exe')" -gt 0 ] && echo yes || echo no)"
check "the real task manager runs" "yes" "$([ "$(running 'C:\windows\system32\taskmgr.exe')" -gt 0 ] && echo yes || echo no)"
check "the real command line runs" "yes" "$([ "$(running 'C:\windows\system32\cmd.exe')" -gt 0 ] && echo yes || echo no)"
{ our_processes | grep -iE 'regedit|taskmgr|cmd|control|rundll32|shutdown|mmc|rstrui' || true; } | sed 's/^/     process: /'
check "no planted program ran" "" "$(markers)"

# The emergency disk: KX_Disk on the desktop as a link to another folder gets nothing.
desktop=$drive_c/users/$USER/Desktop
ln -s "$outside" "$desktop/KX_Disk"
drv post "$TITLE" WM_COMMAND 41
box=$(drv box "Результат" 30000 | iconv -f cp1251 -t utf-8 || true)
check "a linked KX_Disk is refused" "yes" "$(echo "$box" | grep -q 'не удалось' && echo yes || echo no)"
[ -n "$box" ] || screenshot planted_tools_no_box
rm "$desktop/KX_Disk"
# A plain one gets the program's own file, not C:\tools.exe that the command line names first.
drv post "$TITLE" WM_COMMAND 41
box=$(drv box "Результат" 30000 | iconv -f cp1251 -t utf-8 || true)
check "the emergency disk is built" "yes" "$(echo "$box" | grep -q 'KX_disk' && echo yes || echo no)"
check "its copy is the running program" "yes" "$(cmp -s "$desktop/KX_Disk/kestrix.exe" "$KX_EXE" && echo yes || echo no)"

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
check "nothing was written outside through a link" "$outside_before" "$(outside_state)"
check "still no planted program ran" "" "$(markers)"
