#!/usr/bin/env bash
# The drive balloons as the shell shows them: the program hidden in the tray, a clean flash
# drive plugged gets its protection folder and the "folder created" balloon; a second drive
# that already carries one gets the "already protected" balloon.
# usage: balloons.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_DRIVE=$(dirname "$KX_DRIVER")/kxdrive.exe

# Wine's tooltip answers no question about a balloon's title, so the shell's trace of the
# title it was given is read instead (its icon says the kind: 1 is the information icon).
E2E_SHELL_TRACE=+tooltips
e2e_begin balloons
clean=$E2E_DIR/clean
protected=$E2E_DIR/protected
mkdir -p "$clean" "$protected/autorun.inf"
printf 'notes' > "$clean/notes.txt"

# The titles the shell's balloons were given, in order, as "icon|title" (the trace writes
# each character beyond ASCII as \NNNN).
balloon_titles() {
  sed -n 's/.*TOOLTIPS_SetTitleT hwnd = [0-9A-Fa-f]*, title = L"\(.*\)", icon = 0*\([0-9A-Fa-f]*\)$/\2|\1/p' \
    "$E2E_DIR/shell.log" | perl -CS -pe 's/\\([0-9a-fA-F]{4})/chr(hex($1))/ge'
}

# Waits (at most 20 s) until the shell shows a balloon whose text is $1 (line feeds as "\n").
balloon_with_text() {
  local shown=
  for _ in $(seq 1 80); do
    shown=$(drv balloon 200 | tail -n 1 | iconv -f cp1251 -t utf-8)
    [ "$shown" = "$1" ] && break
    sleep 0.25
  done
  echo "$shown"
}

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
drv post "$TITLE" WM_HOTKEY 812   # Ctrl+Alt+Down: into the tray
for _ in $(seq 1 50); do [ "$(drv tray "$TITLE")" = 1 ] && break; sleep 0.1; done
check "hidden in the tray" "1" "$(drv tray "$TITLE")"

"$WINE" "$KX_DRIVE" plug F "$clean" </dev/null >/dev/null 2>&1
created_text='• На подключенном устройстве создана\nпапка "autorun.inf", которая делает невозможным\nавтозапуск любых программ (в том числе вирусов)\nс этого устройства.\n\nЩелкните правой кнопкой мыши по иконке   \nи выберите пункт  "Открыть флешку".'
check "a clean drive gets the folder-created balloon" "$created_text" "$(balloon_with_text "$created_text")"
check "its title and information icon" "1|Kestrix: создана папка защиты." "$(balloon_titles | tail -n 1)"
screenshot balloons_folder_created

"$WINE" "$KX_DRIVE" plug G "$protected" </dev/null >/dev/null 2>&1
protected_text='• Подключенное устройство уже содержит\nзащитную папку "autorun.inf".\nАвтозапуск любых программ (в том числе вирусов)\nс этого устройства невозможен.\n\nЩелкните правой кнопкой мыши по иконке   \nи выберите пункт  "Открыть флешку".'
check "a protected drive gets the already-protected balloon" "$protected_text" "$(balloon_with_text "$protected_text")"
check "its title and information icon" "1|Kestrix: защита уже есть." "$(balloon_titles | tail -n 1)"

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
