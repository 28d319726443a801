#!/usr/bin/env bash
# The program at work: a flash drive carrying autorun files plugged while it watches is
# protected within a watch cycle; without a drive command 43 asks for one; a copy
# registered to start at logon hides itself.
# usage: watch.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_DRIVE=$(dirname "$KX_DRIVER")/kxdrive.exe
KX_USER_FOLDER=844812

e2e_begin watch
data=$(kx_data_dir)
flash=$E2E_DIR/flash
mkdir -p "$flash"
printf '[autorun]\r\nopen=virus.exe\r\n' > "$flash/autorun.inf"
printf 'MZ' > "$flash/autorun.exe"
printf 'photos' > "$flash/holiday.jpg"

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2

# No drive seen yet: command 43 asks for one, in the result box.
drv post "$TITLE" WM_COMMAND 43
check "command 43 without a drive asks for one" "Вставьте флешку и повторите попытку...   " \
  "$(drv box "Результат" 5000 | iconv -f cp1251 -t utf-8)"

# The drive arrives while the program watches.
drv minimize "$TITLE"
"$WINE" "$KX_DRIVE" plug E "$flash" </dev/null >/dev/null 2>&1
protected=no
for _ in $(seq 1 60); do
  if [ -f "$flash/autorun.inf/info.txt" ] && [ ! -e "$flash/autorun.exe" ]; then protected=yes; break; fi
  sleep 0.1
done
check "drive protected within six seconds" "yes" "$protected"
check "autorun.inf is now the protection folder" "yes" "$([ -d "$flash/autorun.inf" ] && echo yes || echo no)"
check "the user's files stay" "photos" "$(cat "$flash/holiday.jpg")"
check_soon "the window is shown after a protection" "1 0" shown_state
rows=$(drv rows "$TITLE" 0 | iconv -f cp1251 -t utf-8)
echo "$rows" | sed 's/^/     FileList: /'
check "FileList shows the protection folder" "0|E:\\autorun.inf (папка защиты)|съемный диск| " \
  "$(echo "$rows" | grep 'E:\\autorun.inf (' | head -n 1)"
screenshot watch_protected

# The drive goes: the next pass forgets it, so command 43 asks again.
"$WINE" "$KX_DRIVE" pull E </dev/null >/dev/null 2>&1
drive_forgotten() { ! drv rows "$TITLE" 0 | grep -q 'E:\\'; }
check "the next pass forgets the drive" "0" "$(wait_until drive_forgotten; echo $?)"
drv post "$TITLE" WM_COMMAND 43
check "after the drive is pulled command 43 asks again" "Вставьте флешку и повторите попытку...   " \
  "$(drv box "Результат" 5000 | iconv -f cp1251 -t utf-8)"

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
log=$(iconv -f cp1251 -t utf-8 "$data/KX_Log.txt" 2>/dev/null)
check "log holds the start" "yes" "$(echo "$log" | grep -q 'Запуск программы Kestrix.' && echo yes || echo no)"
check "log holds the summary" "yes" \
  "$(echo "$log" | grep -q 'Найдено ауторанов: 2. Удалено: 2  Создана папка защиты.' && echo yes || echo no)"

# Registered to start at logon: the window hides itself about a second after start.
printf '010000' > "$data/kx.vars"
kx_start
drv find "$TITLE" 20000 >/dev/null
check_soon "autostart copy hides to the tray" "0 1" shown_state
check_soon "its tray icon is there" "1" drv tray "$TITLE"
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "settings kept" "010000" "$(cat "$data/kx.vars")"
