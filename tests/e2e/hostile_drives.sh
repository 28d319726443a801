#!/usr/bin/env bash
# Hostile flash drives plugged while the real program watches: a root crowded with autorun
# files under the longest names and names code page 1251 cannot spell, beside user files with
# look-alike names; then drives whose autorun.inf and autorun files are links leading off the
# drive. Each run ends by closing the program and checking what is left on disk.
# usage: hostile_drives.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_DRIVE=$(dirname "$KX_DRIVER")/kxdrive.exe
KX_USER_FOLDER=844812

e2e_begin hostile_drives
data=$(kx_data_dir)
outside=$(mktemp -d /tmp/kx_hostile.XXXXXX)
trap 'rc=$?; rm -rf "$outside"; (exit $rc); e2e_end' EXIT

plug() { "$WINE" "$KX_DRIVE" plug "$1" "$2" </dev/null >/dev/null 2>&1; }
pull() { "$WINE" "$KX_DRIVE" pull "$1" </dev/null >/dev/null 2>&1; }
# Windows attributes as Wine keeps them (0x2 hidden, 0x4 system, 0x20 archive).
dos_attributes() { setfattr -n user.DOSATTRIB -v "\"$2\"" "$1"; }
# Files named like autorun files in a folder's root, whatever their letter case.
autorun_files() { find "$1" -maxdepth 1 -type f -iname 'autorun.*' | wc -l; }
# Everything about a tree that a followed link could change: names, kinds, modes, sizes,
# times, link targets, Windows attributes and bytes.
snapshot() {
  (cd "$1" && find . -printf '%p %y %m %s %T@ %l\n' | sort &&
    find . -type f -exec md5sum {} + | sort && getfattr -R -d -m user.DOSATTRIB . 2>/dev/null)
}
closed_log() { iconv -f cp1251 -t utf-8 "$data/KX_Log.txt" 2>/dev/null; }
has() { grep -qF -- "$2" <<<"$1" && echo yes || echo no; }

# --- 1. A crowded root -----------------------------------------------------------------
flash=$E2E_DIR/crowded
mkdir -p "$flash/docs" "$flash/autorun.dir"
# Linux caps a name at 255 bytes, so E:\ and 255 characters (258 in all) is the longest root
# path that can be staged; the platform's own limit of 259 lies one character beyond.
long=autorun.$(printf 'L%.0s' $(seq 1 246))
autoruns=("${long}1" "${long}2" "${long}3"
  "autorun.$(printf 'ж%.0s' $(seq 1 123))"  # 131 characters, 254 bytes of UTF-8
  "autorun.中文" "autorun.ᾶᾷ" "autorun.ἀρχή" "autorun.日本語.exe"
  AutoRun.Inf autorun.exe autorun.inf.txt "autorun.a b")
i=0
while [ ${#autoruns[@]} -lt 45 ]; do autoruns+=("autorun.$(printf '%03d' $i)"); i=$((i + 1)); done
for name in "${autoruns[@]}"; do printf 'virus' > "$flash/$name"; done
dos_attributes "$flash/AutoRun.Inf" 0x22
dos_attributes "$flash/autorun.exe" 0x25
chmod 444 "$flash/autorun.exe"
keep=(autorun autorunX.inf "my autorun.inf" autorun_inf "autorun .inf" xautorun.inf autorun~1.inf
  "文档.txt" "ᾶλφα.doc" "фото.jpg" "$(printf 'F%.0s' $(seq 1 255))")
for name in "${keep[@]}"; do printf 'user %s' "$name" > "$flash/$name"; done
printf 'user' > "$flash/docs/autorun.inf"
printf 'user' > "$flash/autorun.dir/autorun.exe"
check "the crowded root holds 45 autorun files" "45" "$(autorun_files "$flash")"

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2
plug E "$flash"
# One pass examines at most 41 entries: the first cycle leaves some files for the next.
# A count that holds for a second lies between cycles; others are deletions in progress.
counts=45 last=45 since=$(date +%s%N) start=$SECONDS
while [ $((SECONDS - start)) -lt 30 ]; do
  n=$(autorun_files "$flash")
  now=$(date +%s%N)
  if [ "$n" != "$last" ]; then
    last=$n since=$now
  elif [ "$n" != "${counts##* }" ] && [ $((now - since)) -ge 1000000000 ]; then
    counts="$counts $n"
  fi
  [ "${counts##* }" = 0 ] && break
  sleep 0.1
done
echo "     autorun files left, cycle by cycle: $counts"
read -r -a seen <<<"$counts"
check "two cycles clear the root" "3 0" "${#seen[@]} ${seen[2]:-}"
check "the first cycle leaves at least four files" "yes" "$([ "${seen[1]:-0}" -ge 4 ] && echo yes || echo no)"
check "the protection folder holds its note" "yes" "$([ -f "$flash/autorun.inf/info.txt" ] && echo yes || echo no)"
rows=$(drv rows "$TITLE" 0 | iconv -f cp1251 -t utf-8)
check "FileList shows the protection folder" "0|E:\\autorun.inf (папка защиты)|съемный диск| " \
  "$(grep 'E:\\autorun.inf (' <<<"$rows" | head -n 1)"
pull E
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"

for name in "${keep[@]}"; do
  check "user file kept: ${name:0:40}" "user $name" "$(cat "$flash/$name" 2>/dev/null)"
done
check "a sub-folder's autorun.inf is never touched" "user" "$(cat "$flash/docs/autorun.inf")"
check "a folder called autorun.dir stays with its file" "user" "$(cat "$flash/autorun.dir/autorun.exe")"
check "nothing but the protection folder is new" \
  "$(printf '%s\n' "${keep[@]}" autorun.dir autorun.inf docs | LC_ALL=C sort)" "$(ls -A "$flash" | LC_ALL=C sort)"
log=$(closed_log)
first=${seen[1]:-0}
check "log: the first cycle's summary" "yes" "$(has "$log" "Найдено ауторанов: $((45 - first)). Удалено: $((45 - first))")"
check "log: the second cycle's summary" "yes" "$(has "$log" "Найдено ауторанов: $first. Удалено: $first")"

# --- 2. Links leading off the drive ------------------------------------------------------
elsewhere=$WINEPREFIX/drive_c/users/$USER/Documents/elsewhere
mkdir -p "$outside/folder/sub" "$elsewhere"
printf 'outside' > "$outside/folder/keep.txt"
printf 'precious' > "$outside/precious.doc"
printf 'note' > "$outside/note.txt"
printf 'MZ tool' > "$outside/tool.exe"
printf 'report' > "$elsewhere/report.doc"
dos_attributes "$outside/folder" 0x12
dos_attributes "$outside/precious.doc" 0x23
chmod 444 "$outside/precious.doc"

linked=$E2E_DIR/linked
mkdir -p "$linked"
ln -s "$outside/folder" "$linked/autorun.inf"
ln -s "$outside/precious.doc" "$linked/autorun.exe"
ln -s "$elsewhere/report.doc" "$linked/autorun.ini"
ln -s "$outside/gone.txt" "$linked/autorun.lnk"  # dangling: Wine does not list it
printf 'virus' > "$linked/autorun.bat"
# A real protection folder whose files are links; new names inside it are links to nothing.
inner=$E2E_DIR/inner
mkdir -p "$inner/autorun.inf"
ln -s "$outside/note.txt" "$inner/autorun.inf/info.txt"
ln -s "$outside/tool.exe" "$inner/autorun.inf/kestrix.exe"
dangling=$E2E_DIR/dangling
mkdir -p "$dangling/autorun.inf"
ln -s "$outside/new_note.txt" "$dangling/autorun.inf/info.txt"
ln -s "$outside/new_tool.exe" "$dangling/autorun.inf/kestrix.exe"
links_before=$(find "$linked" "$inner" "$dangling" -type l -printf '%p -> %l\n' | sort)
outside_before=$(snapshot "$outside")
elsewhere_before=$(snapshot "$elsewhere")

printf '001000' > "$data/kx.vars"  # a program copy in every protection folder
kx_start
check "main window appears again" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
sleep 2
plug E "$linked"
plug F "$inner"
plug G "$dangling"
deleted=no
for _ in $(seq 1 100); do [ -e "$linked/autorun.bat" ] || { deleted=yes; break; }; sleep 0.1; done
check "the one real autorun file goes" "yes" "$deleted"
sleep 4.5  # one cycle more: the links are seen again and still left alone
pull E
pull F
pull G
drv post "$TITLE" WM_CLOSE
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"

check "nothing outside the drive changed" "$outside_before" "$(snapshot "$outside")"
check "nothing elsewhere in the prefix changed" "$elsewhere_before" "$(snapshot "$elsewhere")"
check "every link is still there, pointing where it did" "$links_before" \
  "$(find "$linked" "$inner" "$dangling" -type l -printf '%p -> %l\n' | sort)"
check "no note or program copy written through the folder link" "no no" \
  "$([ -e "$outside/folder/info.txt" ] && echo yes || echo no) $([ -e "$outside/folder/kestrix.exe" ] && echo yes || echo no)"
check "the linked drive holds only its links" "autorun.exe autorun.inf autorun.ini autorun.lnk" \
  "$(ls -A "$linked" | sort | tr '\n' ' ' | sed 's/ $//')"
log=$(closed_log)
check "log: links counted, only the real file deleted" "yes" "$(has "$log" "Найдено ауторанов: 3. Удалено: 1")"
check "log: the links seen again and left" "yes" "$(has "$log" "Найдено ауторанов: 2. Удалено: 0")"
