#!/usr/bin/env bash
# Drives that come and go under the real program: a flash drive with thousands of files in
# its root plugged and pulled again and again while the program watches, then a card reader
# with no medium beside a flash drive. The program must keep answering, show no dialog, leave
# every user file alone and log nothing odd.
# usage: hostile_drives_pull.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_DRIVE=$(dirname "$KX_DRIVER")/kxdrive.exe
KX_USER_FOLDER=844812

e2e_begin hostile_drives_pull
data=$(kx_data_dir)

kxdrive() { "$WINE" "$KX_DRIVE" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
closed_log() { iconv -f cp1251 -t utf-8 "$data/KX_Log.txt" 2>/dev/null | tr -d '\r'; }
# Log lines other than the start and clean passes (a new protection folder is clean too).
odd_log_lines() {
  closed_log | grep -E '^[0-9]{2}:[0-9]{2}:[0-9]{2} ' | sed -E 's/^[0-9:]+   //' |
    grep -vxF -e 'Запуск программы Kestrix.' -e 'Файлы autorun.* не найдены. Чисто.' \
      -e 'Файлы autorun.* не найдены. Чисто.  Создана папка защиты.' || true
}
# Samples the running program for a while: the slowest answer in ms ("timeout" when one took
# longer than the limit), and every dialog window seen.
SLOWEST=0 DIALOGS=
watch_program() {
  local seconds=$1 limit_ms=$2 start=$SECONDS
  while [ $((SECONDS - start)) -lt "$seconds" ]; do
    local ms
    ms=$(drv ping "$TITLE" "$limit_ms") || ms=timeout
    if [ "$ms" = timeout ] || { [ "$SLOWEST" != timeout ] && [ "$ms" -gt "$SLOWEST" ]; }; then SLOWEST=$ms; fi
    DIALOGS="$DIALOGS$("$WINE" "$KX_DRIVER" dialogs </dev/null 2>/dev/null | tr -d '\r')"
    kill -0 "$KX_PID" 2>/dev/null || { SLOWEST=gone; return; }
    sleep 0.3
  done
}

# --- 3. A crowded drive plugged and pulled again and again -------------------------------
flash=$E2E_DIR/crowded
mkdir -p "$flash"
(cd "$flash" && seq -f 'photo_%05g.jpg' 1 20000 | xargs touch)
printf 'my notes' > "$flash/notes.txt"
printf '[autorun]\r\nopen=virus.exe\r\n' > "$flash/autorun.inf"
names_before=$(ls "$flash" | grep -v '^autorun.inf$' | md5sum)

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2
drv minimize "$TITLE"
# The drive changes every few milliseconds to every second and a half, so that its comings and
# goings fall all over the four-second cycle and inside passes too.
"$WINE" "$KX_DRIVE" flap E "$flash" 32 </dev/null >"$E2E_DIR/flaps" 2>/dev/null &
flapper=$!
watch_program 32 3000
wait "$flapper" || true
echo "     the drive was plugged $(tr -d '\r' <"$E2E_DIR/flaps") times; slowest answer ${SLOWEST} ms"
check "the program answered within 3 s throughout" "yes" \
  "$([[ "$SLOWEST" =~ ^[0-9]+$ ]] && [ "$SLOWEST" -lt 3000 ] && echo yes || echo no)"
check "no dialog appeared" "" "$DIALOGS"

# Plugged for good: the next cycle protects the drive.
kxdrive plug E "$flash" >/dev/null
protected=no
for _ in $(seq 1 100); do [ -f "$flash/autorun.inf/info.txt" ] && { protected=yes; break; }; sleep 0.1; done
check "the drive ends protected" "yes" "$protected"
kxdrive pull E >/dev/null
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
check "every user file stays" "$names_before" "$(ls "$flash" | grep -v '^autorun.inf$' | md5sum)"
check "the user's note is unchanged" "my notes" "$(cat "$flash/notes.txt")"
check "autorun.inf is the protection folder" "info.txt" "$(ls "$flash/autorun.inf" 2>/dev/null)"
check "the log holds the deletion" "yes" \
  "$(closed_log | grep -qF 'Найдено ауторанов: 1. Удалено: 1  Создана папка защиты.' && echo yes || echo no)"

# --- 4. A card reader with no medium -------------------------------------------------------
# A mount-manager drive of the removable kind without a path vanishes under Wine 8; a slot
# mapped to a folder that does not exist stands for one: its root cannot be listed.
rm -f "$data/KX_Log.txt" "$data/KX_Log.txt.tmp"  # this run's log alone
stick=$E2E_DIR/stick
mkdir -p "$stick"
printf 'photo' > "$stick/photo.jpg"
kx_start
check "main window appears again" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2
kxdrive empty-slot M >/dev/null
kxdrive plug E "$stick" >/dev/null
SLOWEST=0 DIALOGS=
watch_program 14 1000
echo "     slowest answer beside the empty slot: ${SLOWEST} ms"
check "the program answered within 1 s over three cycles" "yes" \
  "$([[ "$SLOWEST" =~ ^[0-9]+$ ]] && [ "$SLOWEST" -lt 1000 ] && echo yes || echo no)"
check "no dialog appeared" "" "$DIALOGS"
check "the flash drive beside the slot is protected" "yes" "$([ -f "$stick/autorun.inf/info.txt" ] && echo yes || echo no)"
kxdrive pull M >/dev/null
kxdrive pull E >/dev/null
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
check "the stick holds its photo and the folder" "autorun.inf photo.jpg" "$(ls "$stick" | tr '\n' ' ' | sed 's/ $//')"
check "nothing odd in the log" "" "$(odd_log_lines)"
check "the log holds the protection" "yes" \
  "$(closed_log | grep -qF 'Файлы autorun.* не найдены. Чисто.  Создана папка защиты.' && echo yes || echo no)"
