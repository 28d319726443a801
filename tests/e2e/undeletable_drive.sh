#!/usr/bin/env bash
# A flash drive that cannot be cleaned stays plugged for a minute while the user's programs
# run: its autorun.inf is a link leading off the drive, which the sweep leaves alone. The
# program lists it on every pass and never answers it with a termination pass.
# usage: undeletable_drive.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_DRIVE=$(dirname "$KX_DRIVER")/kxdrive.exe
KX_SLEEPER=$(dirname "$KX_DRIVER")/kxsleeper.exe
KX_USER_FOLDER=844812
PLUGGED_SECONDS=${KX_UNDELETABLE_SECONDS:-60}

# A termination pass would end the prefix's desktop process; with a Wine virtual desktop every
# window on it would go too, which Windows itself never does. So no virtual desktop here.
export E2E_NO_VIRTUAL_DESKTOP=1
e2e_begin undeletable_drive
data=$(kx_data_dir)
outside=$(mktemp -d /tmp/kx_undeletable.XXXXXX)
trap 'rc=$?; rm -rf "$outside"; (exit $rc); e2e_end' EXIT

alive() { kill -0 "$1" 2>/dev/null && echo alive || echo ended; }
has() { grep -qF -- "$2" <<<"$1" && echo yes || echo no; }

# The user's programs: the waiting helper under ordinary names no list protects.
SLEEPERS=()
for name in editor.exe player.exe; do
  cp "$KX_SLEEPER" "$E2E_DIR/$name"
  "$WINE" "$E2E_DIR/$name" $(((PLUGGED_SECONDS + 90) * 1000)) </dev/null >/dev/null 2>&1 &
  SLEEPERS+=($!)
done

flash=$E2E_DIR/flash
mkdir -p "$flash" "$outside/folder"
printf 'precious' > "$outside/precious.doc"
printf 'outside' > "$outside/folder/keep.txt"
ln -s "$outside/precious.doc" "$flash/autorun.inf"
ln -s "$outside/folder" "$flash/autorun.dir"
printf 'photos' > "$flash/holiday.jpg"
links_before=$(find "$flash" -type l -printf '%p -> %l\n' | sort)

kx_start
check "main window appears" "0" "$(drv find "$TITLE" 20000 >/dev/null; echo $?)"
"$WINE" "$KX_DRIVE" plug E "$flash" </dev/null >/dev/null 2>&1

# The first act pass shows the link it leaves in place.
listed=no
for _ in $(seq 1 100); do
  if drv rows "$TITLE" 0 | iconv -f cp1251 -t utf-8 | grep -qF '|E:\autorun.inf|'; then listed=yes; break; fi
  sleep 0.1
done
check "FileList shows the link that stays" "yes" "$listed"

# A minute plugged: fifteen passes, each finding the link again. Every second both programs
# must still run; the first one ended stops the wait.
start=$SECONDS
while [ $((SECONDS - start)) -lt "$PLUGGED_SECONDS" ]; do
  [ "$(alive "${SLEEPERS[0]}") $(alive "${SLEEPERS[1]}") $(alive "$KX_PID")" = "alive alive alive" ] || break
  sleep 1
done
echo "     watched for $((SECONDS - start)) s with the drive plugged"
check "the user's first program still runs" "alive" "$(alive "${SLEEPERS[0]}")"
check "the user's second program still runs" "alive" "$(alive "${SLEEPERS[1]}")"
check "the program still runs" "alive" "$(alive "$KX_PID")"

"$WINE" "$KX_DRIVE" pull E </dev/null >/dev/null 2>&1 || true
drv post "$TITLE" WM_CLOSE || true
kx_wait_exit
check "WM_CLOSE ends the program with 0" "0" "$KX_RC"
for pid in "${SLEEPERS[@]}"; do kill "$pid" 2>/dev/null || true; done

check "the links are still there, pointing where they did" "$links_before" \
  "$(find "$flash" -type l -printf '%p -> %l\n' | sort)"
check "the link's target is untouched" "precious" "$(cat "$outside/precious.doc")"
check "the user's file stays" "photos" "$(cat "$flash/holiday.jpg")"
log=$(iconv -f cp1251 -t utf-8 "$data/KX_Log.txt" 2>/dev/null)
check "log: the link found and left" "yes" "$(has "$log" "Найдено ауторанов: 1. Удалено: 0")"
check "log: no termination pass" "no" "$(has "$log" "Остановлено процессов")"
