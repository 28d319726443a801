#!/usr/bin/env bash
# DLLs planted beside the program under the names of DLLs it uses are never loaded:
# its imports are KnownDLLs only, and the rest load from System32 through the delay-load
# hook. The same code built without that (kestrix_unprotected, ordinary imports, no
# search restriction) does load them, so the scenario can fail.
# usage: dll_planting.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
tools=$(dirname "$KX_DRIVER")
KX_DRIVE=$tools/kxdrive.exe
CONTROL=$tools/kestrix_unprotected.exe
# gdiplus loads at start, winmm with the connection sound, comdlg32 with the folder
# chooser: the delay-load hook takes them from System32. uxtheme is no import of the
# program: Wine's user32 loads it by name while the program sets up its window, so only
# the search restriction keeps it to System32. comctl32 comes from the manifest's
# side-by-side assembly, in the control too. Not planted, as Wine loads them from the
# program's folder whatever the program does: version.dll (Wine's own system DLLs
# import it, so it loads before any of the program's code) and msimg32.dll (Wine's
# comctl32 delay-loads it, and that lookup ignores the restricted search).
PLANTED="gdiplus winmm comdlg32 comctl32 uxtheme"
CHOOSER="Откройте диск или папку."

# DLLs in KnownDLLs on every Windows from 7 to 11: always mapped from System32.
KNOWN_DLLS="advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi
  ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32"
# objdump translates its headings: read them in the C locale.
imports() { LC_ALL=C x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: \(.*\)\.dll$/\1/Ip' | tr 'A-Z' 'a-z' | sort; }
unknown_imports() { imports "$1" | grep -vxF -f <(echo $KNOWN_DLLS | tr ' ' '\n') | tr '\n' ' '; }
check "the program's import table is read" "kernel32 user32" "$(imports "$KX_EXE" | grep -xE 'kernel32|user32' | tr '\n' ' ' | sed 's/ $//')"
check "the program imports only KnownDLLs" "" "$(unknown_imports "$KX_EXE")"
check "the control imports the planted names" "comctl32 comdlg32 gdiplus winmm " \
  "$(imports "$CONTROL" | grep -xE 'comctl32|comdlg32|gdiplus|winmm' | tr '\n' ' ')"

e2e_begin dll_planting
stick=$WINEPREFIX/drive_c/Stick
mkdir -p "$stick" "$E2E_DIR/flash"
cp "$KX_EXE" "$CONTROL" "$stick/"
for dll in $PLANTED; do cp "$tools/planted/$dll.dll" "$stick/"; done
# Wine prefers its own DLLs; these it must take from a folder the search reaches, as Windows does.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(echo $PLANTED | tr ' ' ',')=n,b"
# The planted DLLs leave <name>.loaded beside themselves, naming who loaded them.
markers() { (cd "$stick" && ls -- *.loaded 2>/dev/null | tr '\n' ' '); }
# loaded_from <dll> <trace>: where Wine's loader took that DLL from, in lower case.
loaded_from() {
  sed -n "s/.*Loaded L\"\([^\"]*\\\\$1\.dll\)\".*/\1/Ip" "$2" | head -n 1 | sed 's/\\\\/\\/g' | tr 'A-Z' 'a-z'
}

# The control loads every planted DLL but comctl32, then dies calling into the fake gdiplus.
control_markers="comdlg32.loaded gdiplus.loaded uxtheme.loaded winmm.loaded "
WINEDEBUG=+loaddll "$WINE" 'C:\Stick\kestrix_unprotected.exe' </dev/null >/dev/null 2>"$E2E_DIR/control.log" &
KX_PID=$!
for _ in $(seq 1 300); do
  [ "$(markers)" = "$control_markers" ] && break
  kill -0 "$KX_PID" 2>/dev/null || break
  sleep 0.1
done
drv post "$TITLE" WM_CLOSE >/dev/null 2>&1 || true
kx_wait_exit
check "the control loads the planted DLLs" "$control_markers" "$(markers)"
check "the markers name the control" "c:\\stick\\kestrix_unprotected.exe" \
  "$(cat "$stick"/*.loaded 2>/dev/null | tr -d '\r' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ' | sed 's/ $//')"
check "the control took gdiplus from its folder" "c:\\stick\\gdiplus.dll" "$(loaded_from gdiplus "$E2E_DIR/control.log")"
rm -f "$stick"/*.loaded

# The program starts beside the same DLLs and uses every one of the planted names.
trace=$E2E_DIR/program.log
WINEDEBUG=+loaddll "$WINE" 'C:\Stick\kestrix.exe' </dev/null >/dev/null 2>"$trace" &
KX_PID=$!
started=no
drv find "$TITLE" 20000 >/dev/null && started=yes
check "the program starts" "yes" "$started"
if [ "$started" = yes ]; then
  # A new flash drive: the connection signal plays its sound through winmm.
  "$WINE" "$KX_DRIVE" plug E "$E2E_DIR/flash" </dev/null >/dev/null 2>&1
  for _ in $(seq 1 200); do [ -n "$(loaded_from winmm "$trace")" ] && break; sleep 0.1; done
  # Command 46 opens the folder chooser of comdlg32; closing it cancels the choice.
  drv post "$TITLE" WM_COMMAND 46 || true
  check "the folder chooser opens" "0" "$(drv find "$CHOOSER" 20000 >/dev/null; echo $?)"
  screenshot dll_planting_chooser
  drv post "$CHOOSER" WM_CLOSE || true
  check "the folder chooser closes" "0" "$(drv gone "$CHOOSER" 10000 >/dev/null; echo $?)"
  screenshot dll_planting
  drv post "$TITLE" WM_CLOSE || true
fi
kx_wait_exit
"$WINE" "$KX_DRIVE" pull E </dev/null >/dev/null 2>&1 || true
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
check "no planted DLL was loaded" "" "$(markers)"
for dll in gdiplus winmm comdlg32 uxtheme; do
  check "$dll came from System32" "c:\\windows\\system32\\$dll.dll" "$(loaded_from $dll "$trace")"
done
check "comctl32 came from the manifest's assembly" "yes" \
  "$(loaded_from comctl32 "$trace" | grep -q '^c:\\windows\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6\.' && echo yes || echo no)"
