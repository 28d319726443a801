#!/usr/bin/env bash
# Menu commands posted to the real program: the hosts reset reports in its result box,
# the emergency disk is built on the desktop, and the pointer over a button shows its
# highlight and hint (screenshot).
# usage: commands.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_USER_FOLDER=844812

e2e_begin commands
hosts=$WINEPREFIX/drive_c/windows/system32/drivers/etc/hosts
mkdir -p "$(dirname "$hosts")"
printf '127.0.0.1 localhost\r\n10.6.6.6 bank.example\r\n' > "$hosts"

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2

# The pointer over button 3 highlights it and shows its hint.
drv post "$TITLE" 0x0200 0 $(( (230 << 16) | 330 ))
sleep 0.5
screenshot commands_pointer_over_check

drv post "$TITLE" WM_COMMAND 44
box=$(drv box "Результат" 10000 | iconv -f cp1251 -t utf-8)
echo "$box" | sed 's/^/     box: /'
check "hosts box names the cleaned file" "yes" "$(echo "$box" | grep -q 'hosts' && echo yes || echo no)"
check "the redirected bank address is gone" "no" "$(grep -q bank.example "$hosts" && echo yes || echo no)"
check "hosts keeps localhost" "yes" "$(grep -q '^127.0.0.1       localhost' "$hosts" && echo yes || echo no)"
check "the old hosts is kept beside it" "yes" \
  "$(printf '127.0.0.1 localhost\r\n10.6.6.6 bank.example\r\n' | cmp -s - "$hosts.kestrix.bak" && echo yes || echo no)"

# The new text cannot be written (a folder holds the new file's name): hosts stays byte for byte.
printf '10.6.6.6 bank.example\r\n' > "$hosts"
mkdir "$hosts.kestrix.new"
drv post "$TITLE" WM_COMMAND 44
box=$(drv box "Результат" 10000 | iconv -f cp1251 -t utf-8)
check "a reset that cannot write hosts whole says it failed" "yes" \
  "$(echo "$box" | grep -q 'Неудачная попытка' && echo yes || echo no)"
check "and leaves hosts as it was" "yes" \
  "$(printf '10.6.6.6 bank.example\r\n' | cmp -s - "$hosts" && echo yes || echo no)"
rmdir "$hosts.kestrix.new"

drv post "$TITLE" WM_COMMAND 41
box=$(drv box "Результат" 10000 | iconv -f cp1251 -t utf-8)
check "emergency disk box" "yes" "$(echo "$box" | grep -q 'KX_disk' && echo yes || echo no)"
disk=$WINEPREFIX/drive_c/users/$USER/Desktop/KX_Disk
for f in kestrix.exe autorun.inf kx_start.txt; do
  check "KX_Disk holds $f" "yes" "$([ -f "$disk/$f" ] && echo yes || echo no)"
done
check "the copy is the program itself" "yes" "$(cmp -s "$disk/kestrix.exe" "$KX_EXE" && echo yes || echo no)"

# The manual check (timer 604) takes the debugger off an image's options, the rest of its key stays.
ifeo='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\taskmgr.exe'
"$WINE" reg add "$ifeo" /v Debugger /d 'C:\evil.exe' /f </dev/null >/dev/null 2>&1
"$WINE" reg add "$ifeo" /v MitigationOptions /t REG_BINARY /d 0001100000000000 /f </dev/null >/dev/null 2>&1
drv post "$TITLE" 0x0113 604 0
box=$(drv box "Результат" 20000 | iconv -f cp1251 -t utf-8)
check "the manual check repairs the registry" "yes" "$(echo "$box" | grep -q 'Чистка реестра' && echo yes || echo no)"
ifeo_values=$("$WINE" reg query "$ifeo" </dev/null 2>/dev/null | tr -d '\r' || true)
check "the image's debugger is gone" "no" "$(echo "$ifeo_values" | grep -q Debugger && echo yes || echo no)"
check "its exploit-protection settings stay" "yes" \
  "$(echo "$ifeo_values" | grep -q 'MitigationOptions.*REG_BINARY.*0001100000000000' && echo yes || echo no)"

drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
